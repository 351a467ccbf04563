#pragma once

#include "recordstore.h"
#include "recordtext.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace nimbra {

class MessageService;

// The record list of the SD-card dialog, read from the record store on demand: the view asks
// for the cells it shows, the model reads the page of rows around them (in the order they were
// stored) and keeps a few pages, so a list of ten million readings costs a few hundred
// kilobytes. Cell texts are made from the stored rows. Used on the user-interface thread only.
class RecordListModel final : public QAbstractTableModel
{
public:
    static constexpr int PageRows = 256;
    static constexpr std::size_t CachedPages = 8;

    explicit RecordListModel(MessageService& messages, QObject* parent = nullptr);
    ~RecordListModel() override;

    // Column titles and no rows: before the first import and while one runs. Lets go of the
    // store, so the import never waits for this model.
    void clear(QStringList titles = {});
    // The rows the store at database holds after an import, with their titles (three for an
    // indoor file); stamps is the form the time column is shown in. A store that cannot
    // be opened says so once and shows no rows.
    void setRecords(const std::filesystem::path& database, QStringList titles,
                    const StampForm& stamps, bool indoor);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct Page
    {
        int index = -1;
        std::vector<RecordRow> rows;
    };
    // The stored row at a list row; nullptr when it cannot be read now (a later paint asks
    // again).
    const RecordRow* row(int listRow) const;

    MessageService& m_messages;
    std::unique_ptr<RecordStore> m_store; // open while rows are shown
    std::int64_t m_firstRowid = 0;
    int m_rows = 0;
    QStringList m_titles;
    StampForm m_stamps;
    bool m_indoor = false;
    mutable std::vector<Page> m_pages; // the most recently used last
};

// The titles of the record list: "Time", "Temperature" + unit, "Humidity(%)" and, for a file
// that is not indoor, "DewPoint" + unit and "HeatIndex" + unit.
QStringList RecordColumnTitles(const QString& time, const QString& temperature,
                               const QString& humidity, const QString& dewPoint,
                               const QString& heatIndex, const QString& unitLabel, bool indoor);

} // namespace nimbra
