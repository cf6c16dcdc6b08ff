#include "display/ccrcsolver.h"

#include "platform/cchecksum.h"

#include <QDeadlineTimer>
#include <QMap>

#include <bit>
#include <vector>

namespace {

// Longer samples are only checked, not solved from: the greatest common divisor costs the square of
// their length.
constexpr qsizetype kMaxSolved = 4096;

// A polynomial over GF(2): bit k of the words is the coefficient of x^k; no zero word at the top.
using Poly = std::vector<quint64>;

int Degree(const Poly &p)
{
    return p.empty() ? -1 : int(p.size()) * 64 - 1 - std::countl_zero(p.back());
}

void Trim(Poly &p)
{
    while (!p.empty() && p.back() == 0)
        p.pop_back();
}

// a ^= b * x^shift
void XorShifted(Poly &a, const Poly &b, int shift)
{
    const int words = shift / 64;
    const int bits = shift % 64;
    const size_t need = b.size() + size_t(words) + 1;
    if (a.size() < need)
        a.resize(need, 0);
    for (size_t i = 0; i < b.size(); ++i) {
        a[i + size_t(words)] ^= b[i] << bits;
        if (bits)
            a[i + size_t(words) + 1] ^= b[i] >> (64 - bits);
    }
    Trim(a);
}

Poly Mod(Poly a, const Poly &b)
{
    const int db = Degree(b);
    for (int da = Degree(a); da >= db; da = Degree(a))
        XorShifted(a, b, da - db);
    return a;
}

Poly Gcd(Poly a, Poly b)
{
    while (!b.empty()) {
        Poly r = Mod(std::move(a), b);
        a = std::move(b);
        b = std::move(r);
    }
    return a;
}

// p(x) mod (x^width + poly), the remainder `width` bits wide, one bit of p at a time.
quint64 ModSmall(const Poly &p, quint64 poly, int width)
{
    const quint64 top = quint64(1) << (width - 1);
    quint64 r = 0;
    for (int k = Degree(p); k >= 0; --k) {
        const bool in = (p[size_t(k / 64)] >> (k % 64)) & 1;
        r = (r & top) ? ((r << 1) ^ poly) & CChecksum::Mask(width) : (r << 1) & CChecksum::Mask(width);
        r ^= in ? 1 : 0;
    }
    return r;
}

// The register of the direct algorithm (not reflected) over `bytes`, from `reg`.
quint64 Register(quint64 reg, const QByteArray &bytes, quint64 poly, int width)
{
    const quint64 top = quint64(1) << (width - 1);
    for (const char c : bytes) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool in = ((uchar(c) >> bit) & 1) != ((reg & top) != 0);
            reg = ((reg << 1) & CChecksum::Mask(width)) ^ (in ? poly : 0);
        }
    }
    return reg;
}

// The register after `n` zero bytes from `reg`.
quint64 Zeros(quint64 reg, qsizetype n, quint64 poly, int width)
{
    return Register(reg, QByteArray(n, '\0'), poly, width);
}

struct Sample
{
    QByteArray message;  // input bits already in the order the register takes them
    quint64 crc;         // the value, its output reflection undone
};

// Solves A*init = rhs over GF(2) for `width` unknowns; false when there is no solution.
bool SolveLinear(std::vector<std::pair<quint64, bool>> rows, int width, quint64 *solution)
{
    int row = 0;
    std::vector<int> pivotOf(size_t(width), -1);
    for (int col = 0; col < width && row < int(rows.size()); ++col) {
        int found = -1;
        for (int r = row; r < int(rows.size()); ++r)
            if ((rows[size_t(r)].first >> col) & 1) {
                found = r;
                break;
            }
        if (found < 0)
            continue;
        std::swap(rows[size_t(row)], rows[size_t(found)]);
        for (int r = 0; r < int(rows.size()); ++r) {
            if (r != row && ((rows[size_t(r)].first >> col) & 1)) {
                rows[size_t(r)].first ^= rows[size_t(row)].first;
                rows[size_t(r)].second ^= rows[size_t(row)].second;
            }
        }
        pivotOf[size_t(col)] = row++;
    }
    for (int r = row; r < int(rows.size()); ++r)
        if (rows[size_t(r)].second)
            return false;
    quint64 value = 0;  // free unknowns zero
    for (int col = 0; col < width; ++col)
        if (pivotOf[size_t(col)] >= 0 && rows[size_t(pivotOf[size_t(col)])].second)
            value |= quint64(1) << col;
    *solution = value;
    return true;
}

// The initial value and final XOR (in the register's order) of the polynomial for the samples;
// false when none fits them.
bool InitAndXor(const QList<Sample> &samples, quint64 poly, int width, quint64 *init, quint64 *xorout)
{
    // What init and xorout leave in the CRC of each length.
    QMap<qsizetype, quint64> constant;
    for (const Sample &sample : samples) {
        const quint64 k = sample.crc ^ Register(0, sample.message, poly, width);
        const auto at = constant.constFind(sample.message.size());
        if (at != constant.cend() && *at != k)
            return false;
        constant.insert(sample.message.size(), k);
    }
    const QList<qsizetype> lengths = constant.keys();
    const qsizetype first = lengths.front();
    if (lengths.size() > 1) {
        std::vector<std::pair<quint64, bool>> rows;
        for (int j = 1; j < lengths.size(); ++j) {
            quint64 columns[64];
            for (int col = 0; col < width; ++col)
                columns[col] = Zeros(quint64(1) << col, first, poly, width) ^ Zeros(quint64(1) << col, lengths[j], poly, width);
            const quint64 rhs = constant[first] ^ constant[lengths[j]];
            for (int bit = 0; bit < width; ++bit) {
                quint64 coefficients = 0;
                for (int col = 0; col < width; ++col)
                    coefficients |= ((columns[col] >> bit) & 1) << col;
                rows.emplace_back(coefficients, (rhs >> bit) & 1);
            }
        }
        if (!SolveLinear(std::move(rows), width, init))
            return false;
        *xorout = constant[first] ^ Zeros(*init, first, poly, width);
        return true;
    }
    for (const quint64 candidate : {quint64(0), CChecksum::Mask(width)}) {
        const quint64 x = constant[first] ^ Zeros(candidate, first, poly, width);
        if (x == 0 || x == CChecksum::Mask(width)) {
            *init = candidate;
            *xorout = x;
            return true;
        }
    }
    *init = 0;
    *xorout = constant[first];
    return true;
}

}  // namespace

QStringList CCrcSolver::Solve(const QList<QByteArray> &samples, qint64 msLeft)
{
    const QDeadlineTimer deadline(msLeft);
    QStringList found;
    // The widest first: a wide CRC that fits is the stronger evidence.
    for (const int width : {32, 16, 8}) {
        const int size = width / 8;
        for (const bool littleEndian : {false, true}) {
            if (littleEndian && size == 1)
                continue;
            for (const bool refin : {true, false}) {
                for (const bool refout : {true, false}) {
                    // The samples as the register takes them.
                    QList<Sample> taken;
                    for (const QByteArray &sample : samples) {
                        if (sample.size() <= size || sample.size() > kMaxSolved)
                            continue;
                        Sample s;
                        s.message = sample.first(sample.size() - size);
                        if (refin)
                            for (char &c : s.message)
                                c = char(CChecksum::Reflect(uchar(c), 8));
                        s.crc = 0;
                        for (int i = 0; i < size; ++i) {
                            const int at = littleEndian ? sample.size() - 1 - i : sample.size() - size + i;
                            s.crc = s.crc << 8 | uchar(sample[at]);
                        }
                        if (refout)
                            s.crc = CChecksum::Reflect(s.crc, width);
                        taken << s;
                    }
                    // The greatest common divisor of the pairs of one length: message difference
                    // times x^width plus CRC difference.
                    Poly g;
                    QMap<qsizetype, int> firstOfLength;
                    for (int i = 0; i < taken.size(); ++i) {
                        const qsizetype n = taken[i].message.size();
                        if (!firstOfLength.contains(n)) {
                            firstOfLength.insert(n, i);
                            continue;
                        }
                        const Sample &base = taken[firstOfLength[n]];
                        Poly d((size_t(n) * 8 + size_t(width)) / 64 + 1, 0);
                        for (qsizetype b = 0; b < n; ++b) {
                            const quint64 byte = uchar(taken[i].message[b] ^ base.message[b]);
                            const size_t at = size_t(width) + 8 * size_t(n - 1 - b);
                            d[at / 64] ^= byte << (at % 64);
                            if (at % 64 > 56)
                                d[at / 64 + 1] ^= byte >> (64 - at % 64);
                        }
                        d[0] ^= taken[i].crc ^ base.crc;
                        Trim(d);
                        if (!d.empty())
                            g = Gcd(std::move(g), std::move(d));
                    }
                    const int degree = Degree(g);
                    if (degree < width)
                        continue;
                    // Its divisors of degree `width` with a constant term: the polynomials that fit.
                    QList<quint64> polys;
                    if (degree == width) {
                        if (g[0] & 1)
                            polys << (g[0] & CChecksum::Mask(width));
                    } else if (width <= 16) {
                        for (quint64 p = 1; p <= CChecksum::Mask(width) && !deadline.hasExpired(); p += 2)
                            if (ModSmall(g, p, width) == 0)
                                polys << p;
                    } else if (degree - width <= 22) {
                        // G fits a word: try every cofactor of the degree left over.
                        const int rest = degree - width;
                        const quint64 whole = g[0];
                        for (quint64 q = quint64(1) << rest; q < quint64(2) << rest && !deadline.hasExpired(); ++q) {
                            quint64 r = whole, quotient = 0;
                            for (int k = degree; k >= rest; --k) {
                                if ((r >> k) & 1) {
                                    r ^= q << (k - rest);
                                    quotient |= quint64(1) << (k - rest);
                                }
                            }
                            if (r == 0 && (quotient & 1))
                                polys << (quotient & CChecksum::Mask(width));
                        }
                    }
                    for (const quint64 poly : polys) {
                        quint64 init = 0, xorout = 0;
                        if (!InitAndXor(taken, poly, width, &init, &xorout))
                            continue;
                        CChecksum::Entry entry{"", "", CChecksum::KIND_CRC, width, poly, init, refin, refout,
                                               refout ? CChecksum::Reflect(xorout, width) : xorout, 0, 0};
                        const CChecksum::Entry *named = CChecksum::CatalogueEntry(entry);
                        QString rule = named ? QString::fromLatin1(named->name) : CChecksum::ModelText(entry);
                        if (littleEndian)
                            rule += QStringLiteral(":le");
                        // The model as the engine computes it, over every sample.
                        const CChecksum checksum(entry);
                        bool fits = true;
                        for (const QByteArray &sample : samples)
                            fits = fits && sample.size() > size &&
                                   checksum.ValueBytes(checksum.Compute(sample.first(sample.size() - size)), !littleEndian, false) ==
                                       sample.last(size);
                        if (fits && !found.contains(rule))
                            found << rule;
                    }
                    if (deadline.hasExpired())
                        return found;
                }
            }
        }
    }
    return found;
}
