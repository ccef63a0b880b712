// The keyed store under every name-keyed collection. An entry is only the
// key's hash value (or digest) and a data pointer: two keys with equal hash
// values are the same key.
//
// A long list keeps an index from hash value to the first position that
// holds it, so that finding a key (and so adding one, which first looks for
// it) costs constant time however long the list grows; positions and the
// answers are those of a search from the start.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/errors.h"
#include "foundation/md5.h"

namespace omb {

enum class THashKind { MD5, Custom, CRC32 };
enum class TDuplicateMode { Allow, Refuse, Replace, Ignore };

class TElHashList {
public:
    using TDeleteEvent = std::function<void(TElHashList& sender, void* data)>;
    using TFreeObject = void (*)(void* data);

    TElHashList() = default;
    virtual ~TElHashList();
    TElHashList(const TElHashList&) = delete;
    TElHashList& operator=(const TElHashList&) = delete;

    // Settings.
    bool OwnsObjects = false;
    TFreeObject FreeObject = nullptr;  // how owned data is freed
    bool IgnoreCase = false;
    TDuplicateMode DuplicateMode = TDuplicateMode::Allow;
    bool RaiseIfAbsent = false;
    TDeleteEvent OnDelete;

    THashKind HashKind() const { return kind_; }
    // Changing the kind clears the list first.
    void SetHashKind(THashKind kind);

    int Count() const { return int(entries_.size()); }
    int Capacity() const { return capacity_; }
    void SetCapacity(int capacity);

    void Add(const std::string& key, void* data) { Insert(Count(), key, data); }
    void Insert(int index, const std::string& key, void* data);
    int IndexOf(const std::string& key) const;
    void* Find(const std::string& key) const;
    void* Item(int index) const;
    void Delete(int index);
    void DeleteKey(const std::string& key);
    // Gives the entry at the position another key; it keeps its place and
    // its data. A key that another entry holds is taken only when
    // duplicates are allowed; otherwise the answer is false and nothing
    // changes. A bad position raises "Invalid index.".
    bool Rekey(int index, const std::string& key);
    void Clear();

protected:
    // h := h * 5 + character code, unsigned 32-bit.
    virtual uint32_t CustomHash(const std::string& key) const;

private:
    struct Hash {
        uint32_t value = 0;
        TMD5Digest digest{};
    };
    struct Entry {
        Hash hash;
        void* data;
    };

    Hash HashOf(const std::string& key) const;
    bool Equal(const Hash& a, const Hash& b) const;
    int Search(const Hash& h) const;
    int LinearSearch(const Hash& h) const;
    void Release(void* data);

    // The index key of a hash: the value itself, or the digest folded.
    uint64_t IndexKey(const Hash& h) const;
    // Keeps the index up to date for an entry just put at the end.
    void IndexAppended();
    // Keeps it up to date for the last entry, about to go.
    void IndexRemovingLast();
    void DropIndex() {
        index_.clear();
        indexed_ = false;
    }

    THashKind kind_ = THashKind::MD5;
    std::vector<Entry> entries_;
    int capacity_ = 0;
    // First position of each index key; valid while indexed_. Built on a
    // search once the list is long; dropped when positions shift (a removal
    // or an insertion before the end) and built again on the next search.
    mutable std::unordered_map<uint64_t, int> index_;
    mutable bool indexed_ = false;
};

}  // namespace omb
