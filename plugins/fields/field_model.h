#pragma once
// The Fields panel's model: one row per field, made only when the view asks for it. Columns name,
// type and value. Arrays show their length and open into their elements; more than kPageRows
// elements open into ranges of them ("[1000 … 1999]"), so that no level ever holds more rows than
// that and a ten-million-element array opens at once. Rows find their bytes through the session's
// reader and look again when an edit has moved the object's fields.

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include <QAbstractItemModel>

#include "plugins/fields/fields_session.h"

namespace kestrova::fields {

class FieldModel : public QAbstractItemModel {
public:
    enum Column { NameColumn, TypeColumn, ValueColumn, ColumnCount };
    static constexpr std::uint32_t kPageRows = 1000;

    // `refused` is told why an edit was not taken.
    FieldModel(FieldsSession& session, std::function<void(const QString&)> refused,
               QObject* parent = nullptr);
    ~FieldModel() override;

    // The session's object was replaced: every row is made anew.
    void Reset();

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct Item;

    Item* ItemOf(const QModelIndex& index) const;
    Item* Child(Item* parent, int row) const;
    FieldAt Resolve(Item* item) const;
    // The array field an element or range row belongs to.
    Item* ArrayOf(Item* item) const;
    int Rows(Item* item) const;
    QString Value(Item* item) const;
    // Whether the session still holds the object this model was made for, readable.
    bool Showing() const;

    FieldsSession& session_;
    std::function<void(const QString&)> refused_;
    std::unique_ptr<Item> root_;
    std::uint64_t load_ = 0;
};

}  // namespace kestrova::fields
