#include "ipc/message/message.h"

#include <utility>

#include "ipc/base/exception.h"
#include "ipc/base/ipc_string.h"
#include "ipc/base/logger.h"

namespace {

constexpr int kWarningLevel = 3;

}  // namespace

Message::Message() = default;

Message::Message(const std::string& encoded) {
    parse(encoded);
}

Message::Message(const Message& src)
    : kind_(src.kind_),
      name_(src.name_),
      value_(src.value_),
      attributes_(src.attributes_),
      rows_by_name_(src.rows_by_name_ ? std::make_unique<RowIndex>(*src.rows_by_name_) : nullptr) {
    children_.reserve(src.children_.size());
    for (const Message* child : src.children_) {
        Message* copy = new Message(*child);
        copy->parent_ = this;
        children_.push_back(copy);
    }
}

Message& Message::operator=(const Message& src) {
    // Copy first: src may be this node or any node below it.
    Message copy(src);
    const bool is_renamed = name_ != copy.name_;
    swap_contents(copy);
    if (is_renamed && parent_) parent_->reindex();
    return *this;
}

Message::Message(Message&& src) noexcept {
    swap_contents(src);
    if (src.parent_ && !name_.empty()) src.parent_->reindex();
}

Message& Message::operator=(Message&& src) noexcept {
    if (&src == this) return *this;
    Message taken(std::move(src));
    const bool is_renamed = name_ != taken.name_;
    swap_contents(taken);
    if (is_renamed && parent_) parent_->reindex();
    return *this;
}

Message::~Message() {
    for (Message* child : children_) delete child;
}

void Message::swap_contents(Message& other) {
    std::swap(kind_, other.kind_);
    name_.swap(other.name_);
    std::swap(value_, other.value_);
    attributes_.entries_.swap(other.attributes_.entries_);
    children_.swap(other.children_);
    rows_by_name_.swap(other.rows_by_name_);
    for (Message* child : children_) child->parent_ = this;
    for (Message* child : other.children_) child->parent_ = &other;
}

const char* Message::kind_name(uint32_t kind) {
    switch (kind) {
    case OBJECT: return "OBJECT";
    case VALUE: return "VALUE";
    case ARRAY: return "ARRAY";
    default: return "";
    }
}

void Message::set_name(const std::string& name) {
    if (name == name_) return;
    name_ = name;
    if (parent_) parent_->reindex();
}

Message& Message::adopt(Message* child) {
    child->parent_ = this;
    if (children_.capacity() == 0) children_.reserve(4);  // one allocation for the usual few children
    children_.push_back(child);
    if (children_.size() <= kMaxUnindexedChildren) return *child;
    if (!rows_by_name_) {
        reindex();  // just grown past the scanned size
        return *child;
    }
    RowIndex& index = *rows_by_name_;
    auto it = index.lower_bound(child->name_);
    if (it == index.end() || it->first != child->name_) {
        it = index.emplace_hint(it, child->name_, ChildRows());
    }
    it->second.push_back(static_cast<int>(children_.size() - 1));
    return *child;
}

Message& Message::append_new(std::string&& name) {
    Message* child = new Message();
    child->name_ = std::move(name);
    return adopt(child);
}

Message& Message::add_child(const std::string& name) {
    return append_new(std::string(name));
}

Message& Message::add_child() {
    return append_new(std::string());
}

Message& Message::add_array(const std::string& name) {
    Message& child = add_child(name);
    child.kind_ = ARRAY;
    return child;
}

Message& Message::add_value_child(const std::string& name) {
    Message& child = add_child(name);
    child.kind_ = VALUE;
    return child;
}

Message& Message::add_child_copy(const Message& src) {
    return adopt(new Message(src));
}

Message& Message::add_unnamed_copy(const Message& src) {
    Message* copy = new Message(src);
    copy->name_.clear();
    return adopt(copy);
}

void Message::add_children_copy(const Message& src) {
    // Copy the list first: src may be this node.
    const std::vector<Message*> sources = src.children_;
    children_.reserve(children_.size() + sources.size());
    for (const Message* child : sources) add_child_copy(*child);
}

Message& Message::add_value(const std::string& name, const std::string& value) {
    add_value_child(name).value_.set(value);
    return *this;
}

Message& Message::add_value(const std::string& name, const char* value) {
    add_value_child(name).value_.set(value);
    return *this;
}

Message& Message::add_value(const std::string& name, int value) {
    add_value_child(name).value_.set(value);
    return *this;
}

Message& Message::add_value(const std::string& name, unsigned value) {
    add_value_child(name).value_.set(value);
    return *this;
}

Message& Message::add_value(const std::string& name, float value) {
    add_value_child(name).value_.set(value);
    return *this;
}

Message& Message::add_value(const std::string& name, bool value) {
    add_value_child(name).value_.set(value);
    return *this;
}

Message& Message::add_null_value(const std::string& name) {
    add_value_child(name);
    return *this;
}

void Message::log_array_warning() const {
    if (kind_ != ARRAY) {
        ipc_logger().log_cat(0, kWarningLevel, "warning: adding array value to non-array typed message");
    }
}

Message& Message::add_element() {
    log_array_warning();
    return add_value_child(std::string());
}

Message& Message::add_value() {
    add_element();
    return *this;
}

Message& Message::add_value(const std::string& value) {
    add_element().value_.set(value);
    return *this;
}

Message& Message::add_value(const char* value) {
    add_element().value_.set(value);
    return *this;
}

Message& Message::add_value(int value) {
    add_element().value_.set(value);
    return *this;
}

Message& Message::add_value(unsigned value) {
    add_element().value_.set(value);
    return *this;
}

Message& Message::add_value(float value) {
    add_element().value_.set(value);
    return *this;
}

Message& Message::add_value(bool value) {
    add_element().value_.set(value);
    return *this;
}

void Message::reindex() {
    if (children_.size() <= kMaxUnindexedChildren) {
        rows_by_name_.reset();
        return;
    }
    if (rows_by_name_) {
        rows_by_name_->clear();
    } else {
        rows_by_name_ = std::make_unique<RowIndex>();
    }
    for (size_t row = 0; row < children_.size(); ++row) {
        (*rows_by_name_)[children_[row]->name_].push_back(static_cast<int>(row));
    }
}

Message& Message::insert_child(const Message& src, int row) {
    if (row < 0 || row >= size()) throw Exception("%s: Child row %d out of range", "insert_child", row);
    Message* copy = new Message(src);
    copy->parent_ = this;
    children_.insert(children_.begin() + row, copy);
    reindex();
    return *copy;
}

void Message::remove_at(size_t row) {
    Message* child = children_[row];
    children_.erase(children_.begin() + static_cast<std::ptrdiff_t>(row));
    reindex();
    delete child;
}

void Message::remove_child(int row) {
    if (row < 0 || row >= size()) throw Exception("%s: Child row %d out of range", "remove_child", row);
    remove_at(static_cast<size_t>(row));
}

void Message::remove_child(const std::string& name, unsigned occurrence) {
    const int row = row_of(name, occurrence);
    if (row < 0) {
        throw Exception("%s: Failed to find '%s' #%d", "remove_child", name.c_str(), static_cast<int>(occurrence));
    }
    remove_at(static_cast<size_t>(row));
}

void Message::remove_child(Message* child) {
    const int row = child ? index_of(child) : -1;
    if (row < 0) {
        throw Exception("%s: Child %s not found", "remove_child", child ? child->name_.c_str() : "");
    }
    remove_at(static_cast<size_t>(row));
}

void Message::remove_node_by_path(const std::string& path) {
    Message* node = find_node_by_path(path);
    if (!node) throw Exception("%s: Path %s not found", "remove_node_by_path", path.c_str());
    // The path may name this node itself; a node never destroys itself.
    if (node == this) throw Exception("%s: Child %s not found", "remove_child", name_.c_str());
    node->parent_->remove_child(node);
}

void Message::clear_contents() {
    attributes_.clear();
    delete_children();
}

void Message::delete_children() {
    std::vector<Message*> doomed;
    doomed.swap(children_);
    rows_by_name_.reset();
    for (Message* child : doomed) delete child;
}

int Message::row_of(std::string_view name, unsigned occurrence) const {
    if (children_.size() <= kMaxUnindexedChildren) {
        for (size_t row = 0; row < children_.size(); ++row) {
            if (children_[row]->name_ != name) continue;
            if (occurrence == 0) return static_cast<int>(row);
            --occurrence;
        }
        return -1;
    }
    const auto it = rows_by_name_->find(name);
    if (it == rows_by_name_->end() || occurrence >= it->second.size()) return -1;
    return it->second[occurrence];
}

unsigned Message::child_count(const std::string& name) const {
    if (children_.size() <= kMaxUnindexedChildren) {
        unsigned count = 0;
        for (const Message* child : children_) count += child->name_ == name;
        return count;
    }
    const auto it = rows_by_name_->find(name);
    return it == rows_by_name_->end() ? 0 : static_cast<unsigned>(it->second.size());
}

int Message::row() const {
    return parent_ ? parent_->index_of(this) : -1;
}

int Message::index_of(const Message* child) const {
    for (size_t row = 0; row < children_.size(); ++row) {
        if (children_[row] == child) return static_cast<int>(row);
    }
    return -1;
}

std::vector<std::string> Message::child_names() const {
    std::vector<std::string> names;
    names.reserve(children_.size());
    for (const Message* child : children_) names.push_back(child->name_);
    return names;
}

Message& Message::get_child(int row) {
    if (row < 0 || row >= size()) throw Exception("%s: Child row %d out of range", "get_child", row);
    return *children_[static_cast<size_t>(row)];
}

const Message& Message::get_child(int row) const {
    if (row < 0 || row >= size()) throw Exception("%s: Child index %d out of range", "get_child", row);
    return *children_[static_cast<size_t>(row)];
}

const Message* Message::find_occurrence(const std::string& name, unsigned occurrence) const {
    const int row = row_of(name, occurrence);
    return row < 0 ? nullptr : children_[static_cast<size_t>(row)];
}

const Message& Message::get_child(const std::string& name, unsigned occurrence) const {
    const Message* child = find_occurrence(name, occurrence);
    if (!child) {
        throw Exception("%s: Failed to find '%s' #%d", "get_child", name.c_str(), static_cast<int>(occurrence));
    }
    return *child;
}

Message& Message::get_child(const std::string& name, unsigned occurrence) {
    return const_cast<Message&>(static_cast<const Message&>(*this).get_child(name, occurrence));
}

const Message::Value& Message::child_value(const std::string& name, unsigned occurrence) const {
    return get_child(name, occurrence).value_;
}

Message::Value& Message::child_value(const std::string& name, unsigned occurrence) {
    return get_child(name, occurrence).value_;
}

const Message& Message::get_child_by_attribute(const std::string& name, const std::string& key,
                                               const std::string& value) const {
    for (unsigned occurrence = 0;; ++occurrence) {
        const Message* child = find_occurrence(name, occurrence);
        if (!child) break;
        if (child->attributes_.get_string(key, std::string()) == value) return *child;
    }
    throw Exception("%s: Failed to find '%s' where '%s' = '%s'", "get_child_by_attribute", name.c_str(), key.c_str(),
                    value.c_str());
}

Message& Message::get_child_by_attribute(const std::string& name, const std::string& key, const std::string& value) {
    return const_cast<Message&>(static_cast<const Message&>(*this).get_child_by_attribute(name, key, value));
}

bool Message::child_bool(const std::string& name, bool def) const {
    const Message* child = find_occurrence(name, 0);
    return child ? child->value_.to_bool() : def;
}

int Message::child_int(const std::string& name, int def) const {
    const Message* child = find_occurrence(name, 0);
    return child ? child->value_.to_int() : def;
}

unsigned Message::child_uint(const std::string& name, unsigned def) const {
    const Message* child = find_occurrence(name, 0);
    return child ? child->value_.to_uint() : def;
}

float Message::child_float(const std::string& name, float def) const {
    const Message* child = find_occurrence(name, 0);
    return child ? child->value_.to_float() : def;
}

std::string Message::child_string(const std::string& name, const std::string& def) const {
    const Message* child = find_occurrence(name, 0);
    return child ? child->value_.to_string() : def;
}

// Steps from `pos` on against `node`'s "name" attribute; a dotted key consumes several steps.
const Message* Message::search_path(const Message& node, const std::vector<std::string>& steps, size_t pos) {
    if (pos >= steps.size()) return nullptr;
    size_t next = pos;
    if (node.name_ != "group") {
        const std::string key = node.attributes_.get_string("name", std::string());
        const std::vector<std::string> parts =
            key.find('.') == std::string::npos ? std::vector<std::string>{key} : ipc_split(key, ".");
        for (const std::string& part : parts) {
            if (part != steps[next]) return nullptr;
            if (next + 1 == steps.size()) return &node;
            ++next;
        }
    }
    for (const Message* child : node.children_) {
        if (const Message* found = search_path(*child, steps, next)) return found;
    }
    return nullptr;
}

const Message* Message::find_node_by_path(const std::string& path) const {
    return search_path(*this, ipc_split(path, "."), 0);
}

Message* Message::find_node_by_path(const std::string& path) {
    return const_cast<Message*>(static_cast<const Message&>(*this).find_node_by_path(path));
}

void Message::query_path(const Message& node, const std::string& query, std::list<const Message*>& out) {
    const size_t dot = query.find('.');
    std::string head = query.substr(0, dot);
    const bool has_rest = dot != std::string::npos;

    std::vector<std::string> predicates;
    for (size_t open = head.find('['); open != std::string::npos; open = head.find('[', open)) {
        const size_t close = head.find(']', open);
        if (close == std::string::npos) {
            head.erase(open);
            break;
        }
        predicates.push_back(head.substr(open + 1, close - open - 1));
        head.erase(open, close - open + 1);
    }

    std::vector<const Message*> candidates;
    if (head == "*") {
        candidates.assign(node.children_.begin(), node.children_.end());
    } else {
        for (unsigned occurrence = 0;; ++occurrence) {
            const Message* candidate = node.find_occurrence(head, occurrence);
            if (!candidate) break;
            candidates.push_back(candidate);
        }
    }

    for (const std::string& predicate : predicates) {
        if (!predicate.empty() && predicate[0] == '@') {
            const size_t equals = predicate.find('=');
            const std::string key = predicate.substr(1, equals == std::string::npos ? std::string::npos : equals - 1);
            const bool has_wanted = equals != std::string::npos;
            std::string wanted = has_wanted ? predicate.substr(equals + 1) : std::string();
            if (wanted.size() > 2) wanted = wanted.substr(1, wanted.size() - 2);  // the quotes
            std::vector<const Message*> kept;
            for (const Message* candidate : candidates) {
                if (!candidate->attributes_.has(key)) continue;
                if (has_wanted && candidate->attributes_.get_string(key, std::string()) != wanted) continue;
                kept.push_back(candidate);
            }
            candidates.swap(kept);
        } else {
            const unsigned index = static_cast<unsigned>(ipc_string_to_int(predicate));
            if (index < candidates.size()) {
                const Message* chosen = candidates[index];
                candidates.assign(1, chosen);
            } else {
                candidates.clear();
            }
        }
    }

    if (!has_rest) {
        out.insert(out.end(), candidates.begin(), candidates.end());
        return;
    }
    const std::string rest = query.substr(dot + 1);
    for (const Message* candidate : candidates) query_path(*candidate, rest, out);
}

std::list<const Message*> Message::find_path(const std::string& query) const {
    std::list<const Message*> found;
    query_path(*this, query, found);
    return found;
}

std::list<Message*> Message::find_path(const std::string& query) {
    std::list<Message*> found;
    for (const Message* node : static_cast<const Message&>(*this).find_path(query)) {
        found.push_back(const_cast<Message*>(node));
    }
    return found;
}

void Message::dump(int level, int category, int indent) const {
    Logger& logger = ipc_logger();
    if (!logger.is_enabled(category, level)) return;
    const std::string lead(static_cast<size_t>(indent > 0 ? indent : 0), ' ');
    const std::string text = value_.as_string();
    const void* self = this;
    const void* owner = parent_;
    const char* kind = kind_name(kind_);

    if (kind_ == VALUE) {
        const char* type = Value::type_name(value_.type());
        if (value_.type() == Value::TYPE_STRING) {
            logger.log_cat(category, level,
                           "%s%s: \"%s\"\t\t\t(this=%p, parent=%p, row=%d, level=%d, type=%s, value_type=%s)",
                           lead.c_str(), name_.c_str(), text.c_str(), self, owner, row(), indent, kind, type);
        } else if (value_.type() == Value::TYPE_NULL) {
            logger.log_cat(category, level,
                           "%s%s: null\t\t\t(this=%p, parent=%p, row=%d, level=%d, type=%s, value_type=%s)",
                           lead.c_str(), name_.c_str(), self, owner, row(), indent, kind, type);
        } else {
            logger.log_cat(category, level,
                           "%s%s: %s\t\t\t(this=%p, parent=%p, row=%d, level=%d, type=%s, value_type=%s)", lead.c_str(),
                           name_.c_str(), text.c_str(), self, owner, row(), indent, kind, type);
        }
        return;
    }
    if (kind_ != ARRAY && !text.empty()) {
        logger.log_cat(category, level, "%s%s: %s\t\t\t(this=%p, parent=%p, row=%d, level=%d, type=%s)", lead.c_str(),
                       name_.c_str(), text.c_str(), self, owner, row(), indent, kind);
    } else {
        logger.log_cat(category, level, "%s%s\t\t\t(this=%p, parent=%p, row=%d, level=%d, type=%s)", lead.c_str(),
                       name_.c_str(), self, owner, row(), indent, kind);
    }
    for (const auto& entry : attributes_) {
        logger.log_cat(category, level, "%s %s=%s", lead.c_str(), entry.first.c_str(),
                       entry.second.as_string().c_str());
    }
    for (const Message* child : children_) child->dump(level, category, indent + 2);
}

bool Message::operator==(const Message& other) const {
    if (name_ != other.name_ || children_.size() != other.children_.size()) return false;
    if (attributes_ != other.attributes_ || value_ != other.value_) return false;
    for (size_t row = 0; row < children_.size(); ++row) {
        if (*children_[row] != *other.children_[row]) return false;
    }
    return true;
}

void Message::absorb(Message& decoded) {
    const bool is_renamed = name_ != decoded.name_;
    name_.swap(decoded.name_);
    if (decoded.value_.is_set()) std::swap(value_, decoded.value_);
    if (attributes_.entries_.empty()) {
        attributes_.entries_.swap(decoded.attributes_.entries_);
    } else {
        attributes_ += decoded.attributes_;
        decoded.attributes_.clear();
    }
    if (children_.empty()) {
        children_.swap(decoded.children_);
        rows_by_name_.swap(decoded.rows_by_name_);
        for (Message* child : children_) child->parent_ = this;
    } else {
        std::vector<Message*> taken;
        taken.swap(decoded.children_);
        decoded.rows_by_name_.reset();
        children_.reserve(children_.size() + taken.size());
        for (Message* child : taken) adopt(child);
    }
    if (is_renamed && parent_) parent_->reindex();
}
