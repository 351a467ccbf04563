// History: the SD-card dialog. The kept history of every import lives in archive/.
#include "history.h"

#include "accessiblenames.h"
#include "dialogitems.h"
#include "grapsh.h"
#include "keyboard.h"
#include "logimport.h"
#include "messageservice.h"
#include "recordstore.h"

#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>

namespace nimbra {

namespace {

// The template's sizes in dialog units, at the pixels per unit of its 8-point font.
constexpr double PixelsPerUnitX = 1.5;
constexpr double PixelsPerUnitY = 1.625;

int unitsX(int units)
{
    return static_cast<int>(units * PixelsPerUnitX);
}

int unitsY(int units)
{
    return static_cast<int>(units * PixelsPerUnitY);
}

void styleList(QTableView* list)
{
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setTabKeyNavigation(false);
    // Every row as high as the first: the view never measures a million rows.
    auto* rows = list->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(list->fontMetrics().height() + 6);
    list->horizontalHeader()->setSectionsMovable(true);
}

QString stationText(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

template <typename F> void History::post(F&& onUiThread)
{
    QMetaObject::invokeMethod(this, std::forward<F>(onUiThread), Qt::QueuedConnection);
}

History::History(HidLink& link, ReplyRouter& router, MessageService& messages, const UiText& texts,
                 std::function<Page()> settingsPage, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_link(link), m_router(router), m_messages(messages), m_texts(texts),
      m_settingsPage(std::move(settingsPage)),
      m_Download(link, m_Receiver, m_Files, m_workerMessages, *this,
                 [this](const std::filesystem::path& copy, const std::string& name) {
                     ImportLocalFile(copy, name, m_Download.copyComplete());
                 })
{
    SetItemId(this, ResourceId);
    ModalToItsWindow(this);
    buildControls();
    m_router.addScreenBusyReceiver(&m_ScreenBusy);
    m_router.setFileDataSink(&m_Receiver);
}

History::~History()
{
    stopTransfer();
    m_router.setFileDataSink(nullptr);
}

void History::setDataFolder(const std::filesystem::path& folder,
                            const std::filesystem::path& database)
{
    m_DataFolder = folder;
    m_DatabasePath = database;
}

void History::buildControls()
{
    buildTopRow();
    buildLists();
    auto* top = new QGridLayout;
    top->addWidget(m_selectLabel, 0, 0);
    top->addWidget(m_selectedName, 0, 1);
    top->addWidget(m_sizeLabel, 1, 0, 1, 2);
    top->addWidget(m_select, 0, 2);
    top->addWidget(m_delete, 0, 3);
    top->addWidget(m_graph, 0, 4);
    top->addWidget(m_progress, 0, 5);
    top->setColumnStretch(5, 1);
    top->setColumnMinimumWidth(5, unitsX(232));

    auto* lists = new QHBoxLayout;
    lists->setSpacing(0);
    lists->addWidget(m_fileList);
    lists->addWidget(m_recordList, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(lists, 1);
    // Wide enough for the five record columns beside the whole file list.
    resize(m_fileList->minimumWidth() + unitsX(150 + 4 * 100) +
               m_recordList->verticalScrollBar()->sizeHint().width() + 40,
           unitsY(337));

    connect(m_select, &QPushButton::clicked, this, [this] { OnSelect(); });
    connect(m_delete, &QPushButton::clicked, this, [this] { OnDelete(); });
    connect(m_graph, &QPushButton::clicked, this, [this] { OnGraph(); });
    connect(m_purge, &QPushButton::clicked, this, [this] { PurgeLocalCopies(); });
    connect(m_fileList, &QTableWidget::currentCellChanged, this,
            [this](int row) { selectRow(row); });
    connect(m_fileList, &QTableWidget::cellClicked, this, [this](int row) { selectRow(row); });
    // Enter or a double-click on a file fetches it, as Select does; not while a transfer runs.
    new RowChosen(m_fileList, [this](int row) {
        if (!m_select->isEnabled())
            return;
        selectRow(row);
        m_select->click();
    });
}

void History::buildTopRow()
{
    m_selectLabel = new QLabel(this);
    SetItemId(m_selectLabel, SelectLabel);
    m_selectedName = new QLabel(this);
    SetItemId(m_selectedName, SelectedName);
    m_selectedName->setMinimumWidth(unitsX(68));
    m_sizeLabel = new QLabel(this);
    SetItemId(m_sizeLabel, SizeLabel);
    // Kept up to date but never shown, as in the dialog's template: the file list shows the size.
    m_sizeLabel->hide();

    m_select = new QPushButton(this);
    SetItemId(m_select, SelectButton);
    m_delete = new QPushButton(QStringLiteral("Delete"), this);
    SetItemId(m_delete, DeleteButton);
    m_graph = new QPushButton(this);
    SetItemId(m_graph, GraphButton);
    for (QPushButton* button : {m_select, m_delete, m_graph})
        button->setMinimumWidth(unitsX(45));
    m_purge = new QPushButton(this);
    SetItemId(m_purge, PurgeButton);
    m_purge->hide();
    ButtonsTakeEnter(this);

    m_progress = new QProgressBar(this);
    SetItemId(m_progress, ProgressBar);
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
}

void History::buildLists()
{
    m_fileList = new QTableWidget(0, 2, this);
    SetItemId(m_fileList, FileList);
    styleList(m_fileList);
    m_fileList->setColumnWidth(0, unitsX(90));
    m_fileList->setColumnWidth(1, unitsX(67));
    // Both columns whole, also with a scroll bar.
    m_fileList->setMinimumWidth(unitsX(90 + 67) +
                                m_fileList->verticalScrollBar()->sizeHint().width() +
                                2 * m_fileList->frameWidth());
    m_fileList->viewport()->installEventFilter(this);

    m_recordList = new QTableView(this);
    SetItemId(m_recordList, RecordList);
    styleList(m_recordList);
    m_recordList->setModel(&m_Records);
    m_recordList->horizontalHeader()->setDefaultSectionSize(unitsX(100));
    // The list's name follows its headings, which name the unit of the last import.
    connect(&m_Records, &QAbstractItemModel::modelReset, this, [this] {
        m_recordList->setColumnWidth(0, unitsX(150));
        NameControls(this);
    });
}

void History::setTexts()
{
    setWindowTitle(m_texts.Text(TextId::SdCardFile));
    m_selectLabel->setText(m_texts.Text(TextId::Select));
    m_select->setText(m_texts.Text(TextId::Select));
    m_graph->setText(m_texts.Text(TextId::Graph));
    m_purge->setText(m_texts.Text(TextId::Delete));
    m_fileList->setHorizontalHeaderLabels(
        {m_texts.Text(TextId::FileName), m_texts.Text(TextId::Size)});
    // Before the first import the columns carry their plain names: no unit is known yet.
    if (m_Records.columnCount() == 0)
        showImportedRecords();
    NameControls(this);
}

int History::DoModal()
{
    OnInitDialog();
    return exec();
}

bool History::OnInitDialog()
{
    setTexts();
    m_Files.Reset();
    m_fileList->setRowCount(0);
    selectRow(-1);
    if (m_link.Connected())
        RequestFileList();
    return true;
}

void History::RequestFileList()
{
    // The reader files the reply into m_Files; the list shows it once the exchange is over.
    m_exchange.run(
        [&link = m_link] {
            const Timing& timing = link.timing();
            return link.Exchange(CommandFrame(Command::FileList), RequestKind::FileList,
                                 timing.fileListBefore, timing.fileListAfter);
        },
        [this](bool) { fillFileList(); });
}

void History::fillFileList()
{
    const std::vector<FileEntry> entries = m_Files.entries();
    m_fileList->setRowCount(static_cast<int>(entries.size()));
    for (int row = 0; row < m_fileList->rowCount(); ++row) {
        const FileEntry& entry = entries[static_cast<std::size_t>(row)];
        auto* name = new QTableWidgetItem(stationText(entry.name));
        auto* size = new QTableWidgetItem(entry.sizeText);
        name->setTextAlignment(Qt::AlignCenter);
        size->setTextAlignment(Qt::AlignCenter);
        m_fileList->setItem(row, 0, name);
        m_fileList->setItem(row, 1, size);
    }
}

void History::selectRow(int row)
{
    if (row >= m_fileList->rowCount())
        row = -1;
    m_SelectedRow = row;
    m_selectedName->setText(row < 0 ? QString() : m_fileList->item(row, 0)->text());
    m_sizeLabel->setText(row < 0 ? QString() : m_fileList->item(row, 1)->text());
}

bool History::eventFilter(QObject* watched, QEvent* event)
{
    // A click beside the rows clears the selection.
    if (watched == m_fileList->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* click = static_cast<QMouseEvent*>(event);
        if (!m_fileList->indexAt(click->position().toPoint()).isValid()) {
            m_fileList->clearSelection();
            selectRow(-1);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void History::setControlsEnabled(bool enabled)
{
    m_select->setEnabled(enabled);
    m_delete->setEnabled(enabled);
    // The graph reads the store the import is writing.
    m_graph->setEnabled(enabled);
}

void History::OnGraph()
{
    Grapsh graph(m_texts, m_messages, m_DatabasePath, m_UnitLabel, this);
    graph.exec();
}

void History::OnSelect()
{
    const QString name = m_selectedName->text();
    if (name.isEmpty()) {
        m_messages.inform(m_texts.Text(TextId::SelectFilePlease));
        return;
    }
    setControlsEnabled(false);
    m_sizeLabel->clear();
    m_Download.setTexts(m_texts);
    const QByteArray bytes = name.toLatin1();
    if (!m_Download.start(bytes.toStdString(), m_DataFolder))
        setControlsEnabled(true);
}

void History::OnDelete()
{
    const QString name = m_selectedName->text();
    if (name.isEmpty()) {
        m_messages.inform(m_texts.Text(TextId::SelectFilePlease));
        m_select->setEnabled(true);
        return;
    }
    const std::string bytes = name.toLatin1().toStdString();
    if (bytes.size() > MaxDeleteNameLength) {
        m_messages.inform(
            m_texts.Text(TextId::NameTooLong).arg(static_cast<int>(MaxDeleteNameLength)));
        return;
    }
    // Without a station the file stays on its card: the copy, the store and the row stay too.
    if (!m_link.Connected()) {
        m_messages.inform(m_texts.Text(TextId::Unconnected));
        return;
    }
    const QString question = m_texts.Text(TextId::DeleteFileQuestion).arg(name) + u'\n' +
                             m_texts.Text(TextId::DeleteQuestion);
    if (m_messages.ask(question) != MessageService::Answer::Ok)
        return;
    // The list lets go of the store, which the worker empties once the station took the delete:
    // emptying a large store takes longer than the window may wait.
    m_Records.clear(recordTitles(m_UnitLabel, m_IsIndoorFile));
    m_exchange.run(
        [&link = m_link, &messages = m_workerMessages, frame = CommandFrame::deleteFile(bytes),
         database = m_DatabasePath] {
            const Timing& timing = link.timing();
            if (!link.Write(frame, timing.deleteBefore, timing.deleteAfter))
                return false;
            RecordStore store(messages);
            if (store.Open(database) == 0)
                store.ClearAll();
            return true;
        },
        [this, bytes, row = m_SelectedRow](bool sent) {
            if (sent) {
                removeDeleted(bytes, row);
                return;
            }
            showImportedRecords();
            m_messages.inform(m_texts.Text(TextId::Unconnected));
        });
}

void History::removeDeleted(const std::string& name, int row)
{
    if (const auto copy = LocalCopyPath(m_DataFolder, name)) {
        std::error_code ignored;
        std::filesystem::remove(*copy, ignored);
    }
    if (row >= 0 && row < m_fileList->rowCount())
        m_fileList->removeRow(row);
    // The first row's name is picked without being highlighted: Select fetches that file.
    m_fileList->clearSelection();
    selectRow(m_fileList->rowCount() > 0 ? 0 : -1);
}

void History::PurgeLocalCopies()
{
    const QDir folder(QString::fromStdU16String(m_DataFolder.u16string()));
    const QStringList copies = folder.entryList({QStringLiteral("*.csv")}, QDir::Files);
    for (const QString& copy : copies)
        QFile::remove(folder.filePath(copy));
    if (!copies.isEmpty())
        m_messages.inform(QStringLiteral("ok"));
}

QStringList History::recordTitles(const QString& unitLabel, bool indoor) const
{
    return RecordColumnTitles(m_texts.Text(TextId::Time), m_texts.Text(TextId::Temperature),
                              m_texts.Text(TextId::Humidity), m_texts.Text(TextId::DewPoint),
                              m_texts.Text(TextId::HeatIndex), unitLabel, indoor);
}

void History::ImportLocalFile(const std::filesystem::path& localCopy, const std::string& name,
                              bool complete)
{
    // No rows while the import replaces them.
    post([this] { m_Records.clear(); });
    const Page settings = m_settingsPage();
    const DateOrder order =
        settings == Page{} ? DateOrder::Unknown : DateOrderFromSettings(settings[4]);
    const Language language = m_texts.language();
    const ImportResult result =
        ImportLogFile(localCopy, name, m_DatabasePath, order, m_workerMessages,
                      {.complete = complete, .language = language});
    if (!result.opened) {
        m_workerMessages.inform(QStringLiteral("Open Error2"));
    } else if (const QString summary = ImportSummary(result, stationText(name), language);
               !summary.isEmpty()) {
        m_workerMessages.inform(summary);
    }
    post([this, result] {
        if (result.stored) {
            m_UnitLabel = result.unitLabel;
            m_IsIndoorFile = result.indoor;
            m_ImportedStamps = result.stamps;
        }
        showImportedRecords();
    });
}

void History::showImportedRecords()
{
    if (!m_ImportedStamps) {
        m_Records.clear({m_texts.Text(TextId::Time), m_texts.Text(TextId::Temperature),
                         m_texts.Text(TextId::Humidity), m_texts.Text(TextId::DewPoint),
                         m_texts.Text(TextId::HeatIndex)});
        return;
    }
    m_Records.setRecords(m_DatabasePath, recordTitles(m_UnitLabel, m_IsIndoorFile),
                         *m_ImportedStamps, m_IsIndoorFile);
}

void History::stopTransfer()
{
    m_Download.stop();
}

void History::reject()
{
    // Esc and the window's close button wait for the transfer to end.
    if (!transferRunning())
        QDialog::reject();
}

void History::closeEvent(QCloseEvent* event)
{
    if (transferRunning())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

// The bar counts the bytes of the file the copy holds, a resumed transfer's earlier ones too,
// and says how far it got in words, so a transfer that stopped never looks finished.
void History::showProgress(int position)
{
    if (!m_transferShown)
        return;
    m_progress->setValue(std::clamp(position, m_progress->minimum(), m_progress->maximum()));
    showProgressText(TextId::Progress, std::clamp<qint64>(position, 0, m_progressTop));
}

void History::showProgressText(TextId textId, qint64 received)
{
    const QLocale locale(m_texts.language() == Language::German ? QLocale::German
                                                                : QLocale::English);
    const qint64 percent = qint64{m_progress->value()} * 100 / m_progress->maximum();
    m_progressReceived = received;
    m_progress->setFormat(m_texts.Text(textId).arg(percent).arg(locale.toString(received),
                                                                locale.toString(m_progressTop)));
    m_progress->setTextVisible(true);
}

void History::progressRange(int top)
{
    post([this, top] {
        m_progressTop = std::max(top, 0);
        m_transferShown = true;
        m_transferWhole = false;
        // A range of 0..0 would turn the bar into a busy indicator.
        m_progress->setRange(0, std::max(top, 1));
        showProgress(0);
    });
}

void History::progress(int position)
{
    // One update in flight at a time: the reader may report thousands a second.
    if (m_pendingProgress.exchange(position) != -1)
        return;
    post([this] { showProgress(m_pendingProgress.exchange(-1)); });
}

void History::transferComplete()
{
    post([this] {
        m_sizeLabel->setText(QStringLiteral("ok..."));
        m_transferWhole = true;
        m_progress->setValue(m_progress->maximum());
        showProgressText(TextId::Progress, m_progressTop);
    });
}

void History::transferEnded()
{
    post([this] {
        m_Download.wait();
        setControlsEnabled(true);
        if (m_transferShown && !m_transferWhole)
            showProgressText(TextId::ProgressStopped, m_progressReceived);
        m_transferShown = false;
    });
}

} // namespace nimbra
