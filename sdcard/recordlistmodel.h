#pragma once

#include "recordtext.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <memory>

namespace nimbra {

// The record list of the SD-card dialog: the view asks for the cells it shows, and each cell is
// cut from the stored line when asked, so a list of a million readings costs no more than the
// file's text. Used on the user-interface thread only.
class RecordListModel final : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    // The readings of a finished import with their column titles (three for an indoor file).
    void setRecords(std::shared_ptr<const RecordTexts> texts, QStringList titles);
    // No rows and no columns: while an import runs.
    void clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::shared_ptr<const RecordTexts> m_texts;
    QStringList m_titles;
};

// The titles of the record list: "Time", "Temperature" + unit, "Humidity(%)" and, for a file
// that is not indoor, "DewPoint" + unit and "HeatIndex" + unit.
QStringList RecordColumnTitles(const QString& time, const QString& temperature,
                               const QString& humidity, const QString& dewPoint,
                               const QString& heatIndex, const QString& unitLabel, bool indoor);

} // namespace nimbra
