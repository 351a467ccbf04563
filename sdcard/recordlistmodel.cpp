#include "recordlistmodel.h"

#include <limits>

namespace nimbra {

void RecordListModel::setRecords(std::shared_ptr<const RecordTexts> texts, QStringList titles)
{
    beginResetModel();
    m_texts = std::move(texts);
    m_titles = std::move(titles);
    endResetModel();
}

void RecordListModel::clear()
{
    setRecords(nullptr, {});
}

int RecordListModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_texts)
        return 0;
    // A view counts rows in int; a longer list shows its first 2^31 - 1 lines.
    return static_cast<int>(
        std::min<std::size_t>(m_texts->size(), std::numeric_limits<int>::max()));
}

int RecordListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_titles.size());
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const
{
    if (!m_texts || !index.isValid())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return {};
    return m_texts->cell(static_cast<std::size_t>(index.row()), index.column());
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
