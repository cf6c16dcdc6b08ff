// A pattern of the channels and reply rules (CReplyRule::CompilePattern) run over telegrams read as
// Latin-1, with the very results its QRegularExpression gives, but without an allocation a run: the
// same PCRE2 library is called with the same compiled pattern and options directly, the match data
// made once. A run the direct call cannot finish (its stack or match limit) is made again through
// the QRegularExpression. A pattern of the plain shape most channels use (CFieldPattern) needs no
// engine at all.
#pragma once

#include "session/cfieldpattern.h"

#include <QRegularExpression>
#include <QString>
#include <QStringView>

#include <array>
#include <memory>

struct pcre2_real_code_16;
struct pcre2_real_match_data_16;

class CPatternRun
{
public:
    explicit CPatternRun(const QString &pattern);
    ~CPatternRun();
    CPatternRun(const CPatternRun &) = delete;
    CPatternRun &operator=(const CPatternRun &) = delete;

    // The pattern is run by PCRE2 directly (false: every run goes through QRegularExpression).
    bool IsDirect() const { return m_bField || m_pCode != nullptr; }

    // Searches `subject` (the telegram, one UTF-16 unit a byte) for the first match, trying the
    // places from `from` on; true when one is found. `subject` must outlive the run's groups.
    bool Run(QStringView subject, qsizetype from = 0);
    // Group `group` of the last run's match (0: the whole match); a null view when the group took
    // no part in it or the last run found nothing.
    QStringView Captured(int group) const;

private:
    struct Free
    {
        void operator()(pcre2_real_code_16 *code) const;
        void operator()(pcre2_real_match_data_16 *data) const;
    };

    QRegularExpression m_expression;
    CFieldPattern m_field;
    bool m_bField = false;  // the pattern has the plain shape: m_field finds its matches
    std::array<qsizetype, 4> m_fieldFound{};  // the last match and its group, [begin, end) each
    std::unique_ptr<pcre2_real_code_16, Free> m_pCode;
    std::unique_ptr<pcre2_real_match_data_16, Free> m_pData;
    bool m_bJit = false;  // compiled to machine code: runs go straight to it
    QStringView m_subject;
    int m_nSet = 0;  // the groups the last direct match set, plus one; 0 when none (or no match)
    bool m_bFallback = false;  // the last run went through QRegularExpression
    QRegularExpressionMatch m_fallback;
};
