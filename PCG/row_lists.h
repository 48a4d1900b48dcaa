#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace pcg {

// One list per row, kept in a single block with room for a few entries per row,
// so that setting up n rows costs one allocation. A row that outgrows its room
// moves to storage of its own (twice as large) and keeps growing there.
template <typename T>
class RowLists {
public:
    // Read-only view of one row.
    class Row {
    public:
        size_t size() const { return count; }
        bool empty() const { return count == 0; }
        const T* data() const { return items; }
        const T* begin() const { return items; }
        const T* end() const { return items + count; }
        const T& operator[](size_t k) const { return items[k]; }
        bool operator==(const Row& other) const { return std::equal(begin(), end(), other.begin(), other.end()); }

    private:
        friend class RowLists;
        Row(const T* items, uint32_t count) : items(items), count(count) {}
        const T* items;
        uint32_t count;
    };

    RowLists() = default;
    RowLists(uint32_t rows, uint32_t roomPerRow)
        : storage(new T[size_t(rows) * roomPerRow]), rowSlots(rows)
    {
        for (uint32_t r = 0; r < rows; ++r)
            rowSlots[r] = {storage.get() + size_t(r) * roomPerRow, 0, roomPerRow};
    }

    size_t size() const { return rowSlots.size(); }
    Row operator[](uint32_t row) const { return {rowSlots[row].items, rowSlots[row].count}; }
    T& at(uint32_t row, uint32_t k) { return rowSlots[row].items[k]; }

    // Inserts before position k; later entries move up by one.
    void insert(uint32_t row, uint32_t k, T value)
    {
        Slot& slot = makeRoom(row);
        std::copy_backward(slot.items + k, slot.items + slot.count, slot.items + slot.count + 1);
        slot.items[k] = value;
        ++slot.count;
    }

    // Replaces the row's entries by count values.
    void assign(uint32_t row, const T* values, uint32_t count)
    {
        Slot& slot = rowSlots[row];
        if (count > slot.capacity)
            growTo(slot, count);
        std::copy(values, values + count, slot.items);
        slot.count = count;
    }

    void append(uint32_t row, T value)
    {
        Slot& slot = makeRoom(row);
        slot.items[slot.count++] = value;
    }

    bool operator==(const RowLists& other) const
    {
        if (size() != other.size())
            return false;
        for (uint32_t r = 0; r < size(); ++r)
            if (!((*this)[r] == other[r]))
                return false;
        return true;
    }

private:
    struct Slot {
        T* items;
        uint32_t count;
        uint32_t capacity;
    };

    Slot& makeRoom(uint32_t row)
    {
        Slot& slot = rowSlots[row];
        if (slot.count == slot.capacity)
            growTo(slot, std::max<uint32_t>(2 * slot.capacity, 4));
        return slot;
    }

    void growTo(Slot& slot, uint32_t capacity)
    {
        std::unique_ptr<T[]> grown(new T[capacity]);
        std::copy(slot.items, slot.items + slot.count, grown.get());
        slot.items = grown.get();
        slot.capacity = capacity;
        grownRows.push_back(std::move(grown));  // kept until the lists go
    }

    std::unique_ptr<T[]> storage;
    std::vector<Slot> rowSlots;
    std::vector<std::unique_ptr<T[]>> grownRows;
};

}  // namespace pcg
