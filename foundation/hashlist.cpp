#include "foundation/hashlist.h"

#include <cstring>

#include "foundation/crc32.h"
#include "foundation/strings.h"

namespace omb {

namespace {
constexpr int kMaxCapacity = 0x7FFFFFF;
// Below this many entries a search from the start is as quick as the index.
constexpr size_t kIndexFrom = 32;
}

TElHashList::~TElHashList() {
    try {
        Clear();
    } catch (...) {
    }
}

void TElHashList::SetHashKind(THashKind kind) {
    if (kind == kind_) return;
    Clear();
    kind_ = kind;
    DropIndex();
}

void TElHashList::SetCapacity(int capacity) {
    if (capacity < Count() || capacity > kMaxCapacity)
        throw EElHashListError("Invalid ElHashList capacity.");
    capacity_ = capacity;
    entries_.reserve(size_t(capacity));
}

uint32_t TElHashList::CustomHash(const std::string& key) const {
    uint32_t h = 0;
    for (unsigned char c : key) h = h * 5 + c;
    return h;
}

TElHashList::Hash TElHashList::HashOf(const std::string& key) const {
    const std::string k = IgnoreCase ? UpperCaseAZ(key) : key;
    Hash h;
    switch (kind_) {
        case THashKind::MD5: h.digest = TCrMD5::Digest(k); break;
        case THashKind::Custom: h.value = CustomHash(k); break;
        case THashKind::CRC32: h.value = Crc32(k); break;
    }
    return h;
}

bool TElHashList::Equal(const Hash& a, const Hash& b) const {
    return kind_ == THashKind::MD5 ? a.digest == b.digest : a.value == b.value;
}

uint64_t TElHashList::IndexKey(const Hash& h) const {
    if (kind_ != THashKind::MD5) return h.value;
    uint64_t a = 0, b = 0;
    std::memcpy(&a, h.digest.data(), 8);
    std::memcpy(&b, h.digest.data() + 8, 8);
    return a ^ b;
}

int TElHashList::LinearSearch(const Hash& h) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (Equal(entries_[i].hash, h)) return int(i);
    return -1;
}

int TElHashList::Search(const Hash& h) const {
    if (entries_.size() < kIndexFrom) return LinearSearch(h);
    if (!indexed_) {
        index_.clear();
        index_.reserve(entries_.size());
        for (size_t i = 0; i < entries_.size(); ++i) index_.emplace(IndexKey(entries_[i].hash), int(i));
        indexed_ = true;
    }
    auto found = index_.find(IndexKey(h));
    if (found == index_.end()) return -1;
    // The first entry of that key; a folded digest may belong to another.
    if (Equal(entries_[size_t(found->second)].hash, h)) return found->second;
    return LinearSearch(h);
}

void TElHashList::IndexAppended() {
    if (indexed_) index_.emplace(IndexKey(entries_.back().hash), int(entries_.size() - 1));
}

void TElHashList::IndexRemovingLast() {
    if (!indexed_) return;
    const int last = int(entries_.size() - 1);
    auto found = index_.find(IndexKey(entries_.back().hash));
    // The index holds first positions: the last entry is there only when no
    // earlier one has its key.
    if (found != index_.end() && found->second == last) index_.erase(found);
}

void TElHashList::Release(void* data) {
    if (OnDelete) OnDelete(*this, data);
    if (OwnsObjects && data && FreeObject) FreeObject(data);
}

void TElHashList::Insert(int index, const std::string& key, void* data) {
    if (index < 0 || index > Count()) throw EElHashListError("Invalid position for HashList.");
    const Hash h = HashOf(key);
    const int present = Search(h);
    if (present >= 0) {
        switch (DuplicateMode) {
            case TDuplicateMode::Refuse: throw EElHashListError("Duplicate entry.");
            case TDuplicateMode::Ignore: return;
            case TDuplicateMode::Replace:
                // The old data is handed to OnDelete but not freed.
                if (OnDelete) OnDelete(*this, entries_[size_t(present)].data);
                entries_[size_t(present)].data = data;
                return;
            case TDuplicateMode::Allow: break;
        }
    }
    if (Count() == capacity_) {
        int grow = capacity_ > 64 ? capacity_ / 4 : capacity_ > 8 ? 16 : 4;
        SetCapacity(capacity_ + grow);
    }
    if (index == Count()) {
        entries_.push_back(Entry{h, data});
        IndexAppended();
    } else {
        entries_.insert(entries_.begin() + index, Entry{h, data});
        DropIndex();
    }
}

int TElHashList::IndexOf(const std::string& key) const {
    int i = Search(HashOf(key));
    if (i < 0 && RaiseIfAbsent) throw EElHashListError("Hash is absent.");
    return i;
}

void* TElHashList::Find(const std::string& key) const {
    int i = IndexOf(key);
    return i >= 0 ? entries_[size_t(i)].data : nullptr;
}

void* TElHashList::Item(int index) const {
    if (index < 0 || index >= Count()) throw EElHashListError("Invalid index.");
    return entries_[size_t(index)].data;
}

void TElHashList::Delete(int index) {
    if (index < 0 || index >= Count()) throw EElHashListError("Invalid index.");
    void* data = entries_[size_t(index)].data;
    if (index == Count() - 1)
        IndexRemovingLast();
    else
        DropIndex();
    entries_.erase(entries_.begin() + index);
    if (Count() < capacity_ / 2) capacity_ /= 2;
    Release(data);
}

bool TElHashList::Rekey(int index, const std::string& key) {
    if (index < 0 || index >= Count()) throw EElHashListError("Invalid index.");
    const Hash h = HashOf(key);
    const int present = Search(h);
    if (present >= 0 && present != index && DuplicateMode != TDuplicateMode::Allow) return false;
    entries_[size_t(index)].hash = h;
    DropIndex();
    return true;
}

void TElHashList::DeleteKey(const std::string& key) {
    int i = IndexOf(key);
    if (i < 0 || i >= Count()) throw EElHashListError("Hash not found.");
    Delete(i);
}

void TElHashList::Clear() {
    std::vector<Entry> gone;
    gone.swap(entries_);
    capacity_ = 0;
    DropIndex();
    for (const Entry& e : gone) Release(e.data);
}

}  // namespace omb
