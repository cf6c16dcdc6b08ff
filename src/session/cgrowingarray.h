// An array of plain values that grows at its end and gives back its front, kept in memory mapped for
// it: growing it remaps the pages (no copy of what it holds, no page touched again), so a series of
// millions of values grows without the pause a vector's reallocation makes.
#pragma once

#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#ifdef __linux__
#include <sys/mman.h>
#else
#include <cstdlib>
#endif

template <typename T>
class CGrowingArray
{
    static_assert(std::is_trivially_copyable_v<T>, "the values are moved as bytes");

public:
    CGrowingArray() = default;
    CGrowingArray(const CGrowingArray &other) { *this = other; }
    CGrowingArray(CGrowingArray &&other) noexcept { Swap(other); }
    ~CGrowingArray() { Release(); }
    CGrowingArray &operator=(const CGrowingArray &other)
    {
        if (this != &other) {
            CGrowingArray copy;
            copy.Reserve(other.m_size);
            if (other.m_size > 0)
                std::memcpy(copy.m_data, other.m_data, other.m_size * sizeof(T));
            copy.m_size = other.m_size;
            Swap(copy);
        }
        return *this;
    }
    CGrowingArray &operator=(CGrowingArray &&other) noexcept
    {
        CGrowingArray gone(std::move(*this));
        Swap(other);
        return *this;
    }

    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const T *data() const { return m_data; }
    const T *begin() const { return m_data; }
    const T *end() const { return m_data + m_size; }
    const T &operator[](size_t i) const { return m_data[i]; }
    const T &back() const { return m_data[m_size - 1]; }

    void push_back(const T &value)
    {
        if (m_size == m_capacity)
            Reserve(m_capacity ? 2 * m_capacity : kFirstBytes / sizeof(T));
        m_data[m_size++] = value;
    }
    // Drops the first `count` values; the rest move to the front.
    void EraseFront(size_t count)
    {
        count = count < m_size ? count : m_size;
        if (count == 0)
            return;
        std::memmove(m_data, m_data + count, (m_size - count) * sizeof(T));
        m_size -= count;
    }
    void clear() { m_size = 0; }

private:
    static constexpr size_t kFirstBytes = 64 * 1024;

    void Reserve(size_t capacity)
    {
        if (capacity <= m_capacity)
            return;
        const size_t bytes = capacity * sizeof(T);
#ifdef __linux__
        void *moved = m_data ? ::mremap(m_data, m_capacity * sizeof(T), bytes, MREMAP_MAYMOVE)
                             : ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (moved == MAP_FAILED)
            throw std::bad_alloc();
#else
        void *moved = std::realloc(m_data, bytes);
        if (!moved)
            throw std::bad_alloc();
#endif
        m_data = static_cast<T *>(moved);
        m_capacity = capacity;
    }
    void Release()
    {
        if (!m_data)
            return;
#ifdef __linux__
        ::munmap(m_data, m_capacity * sizeof(T));
#else
        std::free(m_data);
#endif
        m_data = nullptr;
        m_size = m_capacity = 0;
    }
    void Swap(CGrowingArray &other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
    }

    T *m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};
