#include "session/cliteralfinder.h"

#include <cstring>

namespace {

size_t Slot(std::uint32_t key, size_t mask)
{
    return size_t((key * 0x9E3779B1u) >> 7) & mask;
}

}  // namespace

CLiteralFinder::CLiteralFinder()
{
    Clear();
}

void CLiteralFinder::Clear()
{
    m_branches.assign(16, Branch());
    m_ends.assign(2, -1);  // node 0 unused, 1 the root
    m_first.fill(-1);
    m_onlyFirst = -2;
    m_nLiterals = 0;
}

inline int CLiteralFinder::Child(int node, unsigned char byte) const
{
    if (node == 1)
        return m_first[byte];
    const std::uint32_t key = std::uint32_t(node) << 8 | byte;
    const size_t mask = m_branches.size() - 1;
    for (size_t i = Slot(key, mask);; i = (i + 1) & mask) {
        const Branch &branch = m_branches[i];
        if (branch.key == key)
            return branch.node;
        if (branch.key == 0)
            return -1;
    }
}

void CLiteralFinder::Insert(std::uint32_t key, int node)
{
    if (2 * (m_ends.size() + 1) > m_branches.size()) {
        std::vector<Branch> old(m_branches.size() * 2);
        old.swap(m_branches);
        for (const Branch &branch : old) {
            if (branch.key != 0)
                Insert(branch.key, branch.node);
        }
    }
    const size_t mask = m_branches.size() - 1;
    size_t i = Slot(key, mask);
    while (m_branches[i].key != 0)
        i = (i + 1) & mask;
    m_branches[i] = {key, node};
}

int CLiteralFinder::Add(const QByteArray &literal)
{
    int node = 1;
    for (const char c : literal) {
        const auto byte = static_cast<unsigned char>(c);
        int next = Child(node, byte);
        if (next < 0) {
            next = int(m_ends.size());
            m_ends.push_back(-1);
            if (node == 1) {
                m_first[byte] = next;
                m_onlyFirst = m_onlyFirst == -2 ? byte : -1;
            }
            else
                Insert(std::uint32_t(node) << 8 | byte, next);
        }
        node = next;
    }
    int &number = m_ends[size_t(node)];
    if (number < 0)
        number = m_nLiterals++;
    return number;
}

void CLiteralFinder::Find(const unsigned char *data, int length, std::vector<int> *at, std::vector<int> *found) const
{
    at->assign(size_t(m_nLiterals), -1);
    found->clear();
    const int *first = m_first.data();
    const unsigned char *end = data + length;
    for (const unsigned char *p = data; p < end; ++p) {
        // The next byte a string begins with; when every string begins with the same byte, it is
        // searched for as memchr does.
        if (m_onlyFirst >= 0) {
            p = static_cast<const unsigned char *>(std::memchr(p, m_onlyFirst, size_t(end - p)));
            if (!p)
                return;
        } else {
            while (p < end && first[*p] < 0)
                ++p;
            if (p == end)
                return;
        }
        int node = first[*p];
        for (const unsigned char *q = p + 1;; ++q) {
            const int literal = m_ends[size_t(node)];
            if (literal >= 0 && (*at)[size_t(literal)] < 0) {
                (*at)[size_t(literal)] = int(p - data);
                found->push_back(literal);
                if (int(found->size()) == m_nLiterals)
                    return;
            }
            if (q == end || (node = Child(node, *q)) < 0)
                break;
        }
    }
}
