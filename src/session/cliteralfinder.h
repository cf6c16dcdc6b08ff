// Where each of many byte strings first begins in a telegram, found in one pass: the strings are
// kept as a tree of their bytes (its branches in one hash table), walked from each byte of the
// telegram that begins one of them.
#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>
#include <vector>

class CLiteralFinder
{
public:
    CLiteralFinder();

    void Clear();
    // Adds a string (not empty) and returns its number; an equal string added before keeps its own.
    int Add(const QByteArray &literal);
    int Count() const { return m_nLiterals; }

    // The first place each string begins in `data` (-1: nowhere), by number, into `at`; the numbers
    // of those found into `found` (in the order found).
    void Find(const unsigned char *data, int length, std::vector<int> *at, std::vector<int> *found) const;

private:
    // A branch: from node `key >> 8` by byte `key & 255` (key 0: a free slot; the root is node 1).
    struct Branch
    {
        std::uint32_t key = 0;
        int node = 0;
    };
    int Child(int node, unsigned char byte) const;
    void Insert(std::uint32_t key, int node);

    std::vector<Branch> m_branches;  // open addressing, at most half full
    std::vector<int> m_ends;  // by node: the string that ends there, -1 for none
    std::array<int, 256> m_first{};  // the root's branches, by byte (-1: no string begins with it)
    int m_onlyFirst = -2;  // the one byte every string begins with; -1: several, -2: no string yet
    int m_nLiterals = 0;
};
