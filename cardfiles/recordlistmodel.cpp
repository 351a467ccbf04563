#include "recordlistmodel.h"

#include "recordtext.h"

#include <algorithm>
#include <limits>

namespace nimbra {

RecordListModel::RecordListModel(MessageService& messages, QObject* parent)
    : QAbstractTableModel(parent), m_messages(messages)
{
}

RecordListModel::~RecordListModel() = default;

void RecordListModel::clear(QStringList titles)
{
    beginResetModel();
    m_store.reset();
    m_pages.clear();
    m_rows = 0;
    m_titles = std::move(titles);
    endResetModel();
}

void RecordListModel::setRecords(const std::filesystem::path& database, QStringList titles,
                                 const StampForm& stamps, bool indoor)
{
    // Opened before the reset: a failure's message box must not find the view mid-reset.
    auto store = std::make_unique<RecordStore>(m_messages);
    const auto rowids = store->Open(database) == 0 ? store->StoredRowids() : std::nullopt;
    beginResetModel();
    m_pages.clear();
    m_titles = std::move(titles);
    m_stamps = stamps;
    m_indoor = indoor;
    m_rows = 0;
    m_store.reset();
    if (rowids) {
        // An import stores its rows under consecutive rowids, so list row i is rowid first + i.
        // A view counts rows in int; a longer list shows its first 2^31 - 1 rows.
        m_firstRowid = rowids->first;
        m_rows = static_cast<int>(std::min<std::int64_t>(rowids->second - rowids->first + 1,
                                                         std::numeric_limits<int>::max()));
        m_store = std::move(store);
    }
    endResetModel();
}

const RecordRow* RecordListModel::row(int listRow) const
{
    const int index = listRow / PageRows;
    auto found = std::find_if(m_pages.begin(), m_pages.end(),
                              [index](const Page& page) { return page.index == index; });
    if (found == m_pages.end()) {
        Page page{index, {}};
        if (m_store->ReadStoredRows(m_firstRowid + std::int64_t(index) * PageRows, PageRows,
                                    page.rows) != 0)
            return nullptr;
        if (m_pages.size() == CachedPages)
            m_pages.erase(m_pages.begin());
        m_pages.push_back(std::move(page));
        found = m_pages.end() - 1;
    } else if (found != m_pages.end() - 1) {
        std::rotate(found, found + 1, m_pages.end());
        found = m_pages.end() - 1;
    }
    const auto offset = static_cast<std::size_t>(listRow % PageRows);
    return offset < found->rows.size() ? &found->rows[offset] : nullptr;
}

int RecordListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int RecordListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_titles.size());
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const
{
    if (!m_store || !index.isValid() || index.row() >= m_rows)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return {};
    const RecordRow* stored = row(index.row());
    return stored ? RecordCellText(*stored, index.column(), m_stamps, m_indoor) : QString();
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_titles.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_titles[section];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignCenter);
    return {};
}

QStringList RecordColumnTitles(const QString& time, const QString& temperature,
                               const QString& humidity, const QString& dewPoint,
                               const QString& heatIndex, const QString& unitLabel, bool indoor)
{
    QStringList titles{time, temperature + unitLabel, humidity + QStringLiteral("(%)")};
    if (!indoor)
        titles << dewPoint + unitLabel << heatIndex + unitLabel;
    return titles;
}

} // namespace nimbra
