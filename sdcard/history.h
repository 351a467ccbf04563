// History: the SD-card dialog (template 136). It lists the station's card files, downloads one
// into a local copy, imports it into the record store and shows its rows. Not to be confused
// with the kept history of every import (archive/, history.db).
#pragma once

#include "downloadthread.h"
#include "exchangerunner.h"
#include "filetable.h"
#include "hidlink.h"
#include "localcopy.h"
#include "postedmessages.h"
#include "recordlistmodel.h"
#include "replyrouter.h"
#include "uitext.h"

#include <QDialog>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;
class QTableWidget;

namespace nimbra {

class MessageService;

// The SD-card dialog: the station's files, the download of one into its local copy with the
// import of its readings, and the delete on the station. One object for the life of the main
// window, so its file table and record list outlive each showing.
class History final : public QDialog, private TransferObserver
{
    Q_OBJECT
public:
    static constexpr int ResourceId = 136;
    static constexpr int FileList = 1002;
    static constexpr int RecordList = 1003;
    static constexpr int ProgressBar = 1004;
    static constexpr int SelectButton = 1005;
    static constexpr int GraphButton = 1006;
    static constexpr int DeleteButton = 1007;
    static constexpr int SelectLabel = 1130;
    static constexpr int SelectedName = 1039;
    static constexpr int SizeLabel = 1085;
    static constexpr int PurgeButton = 1037;

    // settingsPage gives the station's last settings page (all zero before the first poll);
    // its date format resolves day and month of the log's time stamps.
    History(HidLink& link, ReplyRouter& router, MessageService& messages, const UiText& texts,
            std::function<Page()> settingsPage, QWidget* parent = nullptr);
    ~History() override;

    void setDataFolder(const std::filesystem::path& folder, const std::filesystem::path& database);
    FileTable& files() { return m_Files; }
    std::atomic<int> m_ScreenBusy{0};

    int DoModal();
    bool OnInitDialog();
    void RequestFileList();
    void OnSelect();
    void OnDelete();
    // The graph dialog over the record store, titled with the imported file's unit.
    void OnGraph();
    void PurgeLocalCopies();
    // Ends a running transfer and joins its worker; the partial copy stays.
    void stopTransfer();
    bool transferRunning() const { return m_Download.running(); }

    const QString& unitLabel() const { return m_UnitLabel; }
    const RecordListModel& records() const { return m_Records; }

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildTopRow();
    void buildLists();
    void setTexts();
    void fillFileList();
    void selectRow(int row);
    void setControlsEnabled(bool enabled);
    // The station deleted the file of row and the worker emptied the store: the local copy
    // and the row go too.
    void removeDeleted(const std::string& name, int row);
    void showProgress(int position);
    void showProgressText(TextId textId, qint64 received);
    // complete: the transfer fetched the whole file.
    void ImportLocalFile(const std::filesystem::path& localCopy, const std::string& name,
                         bool complete);
    QStringList recordTitles(const QString& unitLabel, bool indoor) const;
    // The record list of the last import, or its plain columns before any.
    void showImportedRecords();
    template <typename F> void post(F&& onUiThread);

    // TransferObserver: reader and worker threads.
    void progressRange(int top) override;
    void progress(int position) override;
    void transferComplete() override;
    void transferEnded() override;

    HidLink& m_link;
    ReplyRouter& m_router;
    MessageService& m_messages;
    const UiText& m_texts;
    const std::function<Page()> m_settingsPage;
    PostedMessages m_workerMessages{this, m_messages};

    std::filesystem::path m_DataFolder;   // user-interface thread
    std::filesystem::path m_DatabasePath; // set before the first transfer; the worker reads it
    FileTable m_Files{SizeTextStyle::KilobytesOrMegabytes}; // locks itself
    int m_SelectedRow = -1;                                 // user-interface thread
    // The last file the store took; a refused import leaves them as they were.
    QString m_UnitLabel;                       // user-interface thread
    bool m_IsIndoorFile = false;               // user-interface thread
    std::optional<StampForm> m_ImportedStamps; // user-interface thread
    RecordListModel m_Records{m_messages};     // user-interface thread
    std::atomic<int> m_pendingProgress{-1};    // the newest position not shown yet; -1 none
    // The bar of the running transfer; user-interface thread.
    bool m_transferShown = false;  // a transfer has set the bar's range and not ended yet
    bool m_transferWhole = false;  // it ended complete
    qint64 m_progressTop = 0;      // the bytes it fetches
    qint64 m_progressReceived = 0; // the bytes the bar's text names
    ChunkReceiver m_Receiver{*this};
    DownloadThread m_Download;

    QTableWidget* m_fileList = nullptr;
    QTableView* m_recordList = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_select = nullptr;
    QPushButton* m_graph = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_purge = nullptr;
    QLabel* m_selectLabel = nullptr;
    QLabel* m_selectedName = nullptr;
    QLabel* m_sizeLabel = nullptr;
    // The file list's and Delete's exchanges. Last, so that it waits for its worker before
    // anything the dialog holds goes.
    ExchangeRunner m_exchange{this};
};

} // namespace nimbra
