// A growable array of plain values (`toolArray_c<int>` carries the ids a box query finds).
// It grows like the integer arrays of tool_array.h, in steps of 1000 elements, and reports
// a failed allocation through its result instead of throwing, so that no exception leaves
// the shared library through it.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <type_traits>

template <typename T>
class toolArray_c {
    static_assert(std::is_trivially_copyable_v<T>, "toolArray_c holds plain values only");

  public:
    // Capacity grows to the next multiple of this step above the count needed.
    static constexpr int kGrowthStep = 1000;

    toolArray_c() = default;
    ~toolArray_c() { std::free(m_values); }
    toolArray_c(const toolArray_c& other) { append(other.m_values, other.m_count); }
    toolArray_c& operator=(const toolArray_c& other) {
        if (this != &other) {
            clear();
            append(other.m_values, other.m_count);
        }
        return *this;
    }
    toolArray_c(toolArray_c&& other) noexcept
        : m_values(other.m_values), m_count(other.m_count), m_capacity(other.m_capacity) {
        other.m_values = nullptr;
        other.m_count = other.m_capacity = 0;
    }
    toolArray_c& operator=(toolArray_c&& other) noexcept {
        if (this != &other) {
            std::free(m_values);
            m_values = other.m_values;
            m_count = other.m_count;
            m_capacity = other.m_capacity;
            other.m_values = nullptr;
            other.m_count = other.m_capacity = 0;
        }
        return *this;
    }

    // Appends one value. False (nothing changed) when memory runs out.
    bool add(const T& value) {
        if (m_count == m_capacity && !reserve(m_count + 1)) return false;
        m_values[m_count++] = value;
        return true;
    }

    // Appends `n` values from `values`; n <= 0 appends nothing and succeeds. False (nothing
    // changed) when memory runs out or the count would pass the int range.
    // REQUIRES: `values` holds n values and does not point into this array.
    bool append(const T* values, int n) {
        if (n <= 0) return true;
        if (!values || n > kMaxCount - m_count) return false;
        if (!reserve(m_count + n)) return false;
        std::memcpy(static_cast<void*>(m_values + m_count), values, sizeof(T) * size_t(n));
        m_count += n;
        return true;
    }

    // Makes room for `count` values without changing the count. False when memory runs out.
    bool reserve(int count) {
        if (count <= m_capacity) return true;
        if (count > kMaxCount - kGrowthStep) return false;
        const int capacity = (count / kGrowthStep + 1) * kGrowthStep;
        void* grown = std::realloc(m_values, sizeof(T) * size_t(capacity));
        if (!grown) return false;
        m_values = static_cast<T*>(grown);
        m_capacity = capacity;
        return true;
    }

    // Forgets every value; the memory is kept for the next use.
    void clear() { m_count = 0; }

    // Frees the memory too.
    void release() {
        std::free(m_values);
        m_values = nullptr;
        m_count = m_capacity = 0;
    }

    int count() const { return m_count; }
    int capacity() const { return m_capacity; }
    bool empty() const { return m_count == 0; }

    // REQUIRES: 0 <= index < count().
    T& operator[](int index) { return m_values[index]; }
    const T& operator[](int index) const { return m_values[index]; }

    T* data() { return m_values; }
    const T* data() const { return m_values; }
    T* begin() { return m_values; }
    T* end() { return m_values + m_count; }
    const T* begin() const { return m_values; }
    const T* end() const { return m_values + m_count; }

  private:
    static constexpr int kMaxCount = 0x7fffffff;

    T* m_values = nullptr;
    int m_count = 0;
    int m_capacity = 0;
};
