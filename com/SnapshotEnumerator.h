// An IEnumXxx over a fixed snapshot of items (IEnumConnections over
// CONNECTDATA, IEnumConnectionPoints over IConnectionPoint*). Clones share
// the snapshot and start at the clone source's position. Items handed out by
// Next carry a reference that the caller releases.
// Thread-safety: the position is guarded by the object lock.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "com/Creator.h"
#include "com/EnumItemTraits.h"
#include "com/InterfaceEntry.h"
#include "com/ObjectLockGuard.h"
#include "com/ObjectRoot.h"

template <class EnumInterface, class Item, const IID* EnumIid>
class SnapshotEnumerator : public ObjectRoot, public EnumInterface {
public:
    // Owns one reference per item, released when the last enumerator sharing
    // it goes.
    class Snapshot {
    public:
        Snapshot() = default;
        ~Snapshot() {
            for (const Item& item : items) {
                EnumItemTraits<Item>::Release(item);
            }
        }
        Snapshot(const Snapshot&) = delete;
        Snapshot& operator=(const Snapshot&) = delete;

        std::vector<Item> items;
    };

    // Creates an enumerator positioned at the start; ppEnum receives it.
    static HRESULT Create(std::shared_ptr<const Snapshot> snapshot, EnumInterface** ppEnum) noexcept {
        return Creator<SnapshotEnumerator>::CreateInstance(nullptr, *EnumIid, reinterpret_cast<void**>(ppEnum),
                                                          std::move(snapshot), std::size_t{0});
    }

    SnapshotEnumerator(std::shared_ptr<const Snapshot> snapshot, std::size_t position) noexcept
        : snapshot_(std::move(snapshot)), position_(position) {}

    static std::span<const InterfaceEntry<SnapshotEnumerator>> InterfaceTable() noexcept {
        static const InterfaceEntry<SnapshotEnumerator> table[] = {
            InterfaceEntry<SnapshotEnumerator>::template Of<EnumInterface>(*EnumIid)};
        return table;
    }

    STDMETHODIMP Next(ULONG count, Item* items, ULONG* fetched) noexcept override {
        if (fetched != nullptr) {
            *fetched = 0;
        }
        if (items == nullptr) {
            return E_POINTER;
        }
        if (count > 1 && fetched == nullptr) {
            return E_INVALIDARG;
        }
        ObjectLockGuard guard(*this);
        const std::vector<Item>& all = snapshot_->items;
        ULONG done = 0;
        while (done < count && position_ < all.size()) {
            items[done] = all[position_++];
            EnumItemTraits<Item>::AddRef(items[done]);
            ++done;
        }
        if (fetched != nullptr) {
            *fetched = done;
        }
        return done == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) noexcept override {
        ObjectLockGuard guard(*this);
        const std::size_t left = snapshot_->items.size() - position_;
        if (count > left) {
            position_ = snapshot_->items.size();
            return S_FALSE;
        }
        position_ += count;
        return S_OK;
    }
    STDMETHODIMP Reset() noexcept override {
        ObjectLockGuard guard(*this);
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(EnumInterface** ppEnum) noexcept override {
        if (ppEnum == nullptr) {
            return E_POINTER;
        }
        *ppEnum = nullptr;
        std::size_t position = 0;
        {
            ObjectLockGuard guard(*this);
            position = position_;
        }
        return Creator<SnapshotEnumerator>::CreateInstance(nullptr, *EnumIid, reinterpret_cast<void**>(ppEnum),
                                                          snapshot_, position);
    }

private:
    std::shared_ptr<const Snapshot> snapshot_;
    std::size_t position_;
};
