#include "plugins/fields/field_model.h"

#include <algorithm>

#include "sdk/field_values.h"

namespace kestrova::fields {

namespace {

constexpr std::uint64_t kStale = ~std::uint64_t{0};
// The bytes of a byte run or an undecodable string shown in its value.
constexpr std::size_t kShownBytes = 16;

// How many elements one row of a group of `count` covers: 1, or a power of kPageRows such that
// the group needs at most kPageRows rows.
std::uint64_t RowSpan(std::uint64_t count) {
    std::uint64_t span = 1;
    while (count > span * FieldModel::kPageRows) {
        span *= FieldModel::kPageRows;
    }
    return span;
}

QString HexPreview(ByteSpan bytes) {
    QString text;
    for (std::size_t i = 0; i < std::min(bytes.size(), kShownBytes); ++i) {
        text += QStringLiteral("%1 ").arg(bytes[i], 2, 16, QLatin1Char('0'));
    }
    if (bytes.size() > kShownBytes) {
        text += QChar(0x2026);
    }
    return text.trimmed();
}

}  // namespace

// A row: a field (a structure's member or an array's element) or a range of an array's elements.
struct FieldModel::Item {
    Item* parent = nullptr;
    int row = 0;
    bool range = false;
    // A member's position in its structure, an element's index in its array, a range's first
    // element.
    std::uint32_t first = 0;
    std::uint32_t count = 0;  // a range's elements
    // Where the field is, for the session's generation it was found in.
    FieldAt field;
    std::uint64_t generation = kStale;
    std::vector<FieldAt> members;
    std::uint64_t membersGeneration = kStale;
    std::unordered_map<int, std::unique_ptr<Item>> children;
};

FieldModel::FieldModel(FieldsSession& session, std::function<void(const QString&)> refused,
                       QObject* parent)
    : QAbstractItemModel(parent),
      session_(session),
      refused_(std::move(refused)),
      root_(std::make_unique<Item>()),
      load_(session.loads()) {}

FieldModel::~FieldModel() = default;

void FieldModel::Reset() {
    beginResetModel();
    root_ = std::make_unique<Item>();
    load_ = session_.loads();
    endResetModel();
}

bool FieldModel::Showing() const {
    // A panel the host has not destroyed yet may outlive its hand-over.
    return session_.loads() == load_ && session_.state() == FieldsSession::State::Ready;
}

FieldModel::Item* FieldModel::ItemOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Item*>(index.internalPointer()) : root_.get();
}

FieldModel::Item* FieldModel::ArrayOf(Item* item) const {
    Item* array = item->parent;
    while (array->range) {
        array = array->parent;
    }
    return array;
}

FieldAt FieldModel::Resolve(Item* item) const {
    const FieldReader& reader = session_.reader();
    if (item->generation == session_.generation()) {
        return item->field;
    }
    if (item == root_.get()) {
        item->field = reader.Root();
    } else if (Item* parent = item->parent;
               parent->range || reader.Node(Resolve(parent)).kind == FieldKind::Array) {
        item->field = reader.Element(Resolve(ArrayOf(item)), item->first);
    } else {
        if (parent->membersGeneration != session_.generation()) {
            parent->members = reader.Members(Resolve(parent));
            parent->membersGeneration = session_.generation();
        }
        item->field = parent->members[item->first];
    }
    item->generation = session_.generation();
    return item->field;
}

int FieldModel::Rows(Item* item) const {
    if (!Showing()) {
        return 0;
    }
    std::uint64_t count = 0;
    if (item->range) {
        count = item->count;
    } else {
        const FieldAt field = Resolve(item);
        const FieldNode& node = session_.reader().Node(field);
        if (node.kind == FieldKind::Struct) {
            return static_cast<int>(node.memberCount);
        }
        if (node.kind != FieldKind::Array) {
            return 0;
        }
        count = session_.reader().Count(field);
    }
    const std::uint64_t span = RowSpan(count);
    return static_cast<int>((count + span - 1) / span);
}

FieldModel::Item* FieldModel::Child(Item* parent, int row) const {
    std::unique_ptr<Item>& slot = parent->children[row];
    if (slot) {
        return slot.get();
    }
    auto child = std::make_unique<Item>();
    child->parent = parent;
    child->row = row;
    const bool inArray =
        parent->range || (session_.reader().Node(Resolve(parent)).kind == FieldKind::Array);
    if (!inArray) {
        child->first = static_cast<std::uint32_t>(row);
    } else {
        const std::uint32_t groupFirst = parent->range ? parent->first : 0;
        const std::uint64_t groupCount =
            parent->range ? parent->count : session_.reader().Count(Resolve(parent));
        const std::uint64_t span = RowSpan(groupCount);
        child->first =
            static_cast<std::uint32_t>(groupFirst + span * static_cast<std::uint64_t>(row));
        if (span > 1) {
            child->range = true;
            child->count = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(span, groupCount - span * static_cast<std::uint64_t>(row)));
        }
    }
    slot = std::move(child);
    return slot.get();
}

QModelIndex FieldModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= ColumnCount || row >= rowCount(parent)) {
        return {};
    }
    return createIndex(row, column, Child(ItemOf(parent), row));
}

QModelIndex FieldModel::parent(const QModelIndex& child) const {
    Item* item = ItemOf(child);
    if (item == root_.get() || item->parent == root_.get()) {
        return {};
    }
    return createIndex(item->parent->row, 0, item->parent);
}

int FieldModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) {
        return 0;
    }
    return Rows(ItemOf(parent));
}

int FieldModel::columnCount(const QModelIndex&) const {
    return ColumnCount;
}

bool FieldModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QString FieldModel::Value(Item* item) const {
    if (item->range) {
        return {};
    }
    const FieldReader& reader = session_.reader();
    const FieldAt field = Resolve(item);
    const FieldNode& node = reader.Node(field);
    switch (node.kind) {
        case FieldKind::Struct: {
            // A reference to another object shows where it points.
            const std::vector<FieldAt> members = reader.Members(field);
            if (node.type.starts_with("PPtr<") && members.size() == 2 &&
                IsScalar(reader.Node(members[0]).kind) && IsScalar(reader.Node(members[1]).kind)) {
                return QStringLiteral("file %1, path %2")
                    .arg(QString::fromStdString(
                        ScalarText(reader.Node(members[0]).kind, reader.ScalarBits(members[0]))))
                    .arg(QString::fromStdString(
                        ScalarText(reader.Node(members[1]).kind, reader.ScalarBits(members[1]))));
            }
            return {};
        }
        case FieldKind::Array:
            return QStringLiteral("%1 elements").arg(reader.Count(field));
        case FieldKind::Bytes:
            return QStringLiteral("%1 bytes: %2")
                .arg(reader.Count(field))
                .arg(HexPreview(reader.Payload(field)));
        case FieldKind::String: {
            const ByteSpan text = reader.Payload(field);
            if (IsUtf8(text)) {
                return QString::fromUtf8(reinterpret_cast<const char*>(text.data()),
                                         static_cast<qsizetype>(text.size()));
            }
            return QStringLiteral("(not UTF-8, %1 bytes: %2)")
                .arg(text.size())
                .arg(HexPreview(text));
        }
        default:
            return QString::fromStdString(ScalarText(node.kind, reader.ScalarBits(field)));
    }
}

QVariant FieldModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !Showing() ||
        (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole)) {
        return {};
    }
    Item* item = ItemOf(index);
    if (role == Qt::ToolTipRole) {
        if (index.column() == ValueColumn && !item->range &&
            session_.reader().Node(Resolve(item)).kind == FieldKind::String &&
            !session_.Editable(Resolve(item))) {
            return QStringLiteral("The asset's name is kept apart from its data.");
        }
        return {};
    }
    switch (index.column()) {
        case NameColumn:
            if (item->range) {
                return QStringLiteral("[%1 %2 %3]")
                    .arg(item->first)
                    .arg(QChar(0x2026))
                    .arg(item->first + item->count - 1);
            }
            if (item->parent->range ||
                session_.reader().Node(Resolve(item->parent)).kind == FieldKind::Array) {
                return QStringLiteral("[%1]").arg(item->first);
            }
            return QString::fromStdString(session_.reader().Node(Resolve(item)).name);
        case TypeColumn:
            return item->range ? QString()
                               : QString::fromStdString(session_.reader().Node(Resolve(item)).type);
        default:
            return Value(item);
    }
}

bool FieldModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || !Showing() || role != Qt::EditRole || index.column() != ValueColumn) {
        return false;
    }
    Item* item = ItemOf(index);
    if (item->range) {
        return false;
    }
    const QByteArray text = value.toString().toUtf8();
    std::string error;
    if (!session_.Edit(Resolve(item), std::string_view(text.constData(), text.size()), error)) {
        refused_(QString::fromStdString(error));
        return false;
    }
    refused_({});
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags FieldModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || !Showing()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    Item* item = ItemOf(index);
    if (index.column() == ValueColumn && !item->range && session_.Editable(Resolve(item))) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

QVariant FieldModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
        case NameColumn:
            return QStringLiteral("Name");
        case TypeColumn:
            return QStringLiteral("Type");
        default:
            return QStringLiteral("Value");
    }
}

}  // namespace kestrova::fields
