#include "session/cpatternrun.h"

#include "session/creplyrule.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

void CPatternRun::Free::operator()(pcre2_real_code_16 *code) const
{
    pcre2_code_free_16(code);
}

void CPatternRun::Free::operator()(pcre2_real_match_data_16 *data) const
{
    pcre2_match_data_free_16(data);
}

namespace {

// The machine code's stack, one a thread as QRegularExpression keeps its own, growing as far as
// that one may (512 KiB), and the match context that hands it to the runs.
struct JitStack
{
    pcre2_jit_stack_16 *stack = pcre2_jit_stack_create_16(32 * 1024, 512 * 1024, nullptr);
    pcre2_match_context_16 *context = pcre2_match_context_create_16(nullptr);
    JitStack()
    {
        if (stack && context)
            pcre2_jit_stack_assign_16(context, nullptr, stack);
    }
    ~JitStack()
    {
        pcre2_match_context_free_16(context);
        pcre2_jit_stack_free_16(stack);
    }
    JitStack(const JitStack &) = delete;
    JitStack &operator=(const JitStack &) = delete;
};

pcre2_match_context_16 *JitContext()
{
    thread_local JitStack jit;
    return jit.stack && jit.context ? jit.context : nullptr;
}

}  // namespace

CPatternRun::CPatternRun(const QString &pattern) : m_expression(CReplyRule::CompilePattern(pattern))
{
    // QRegularExpression compiles its pattern for UTF-16 with PCRE2_UTF and its options mapped one to
    // one; the channels' patterns have only DotMatchesEverythingOption. Any other option: no direct run.
    if (!m_expression.isValid() || (m_expression.patternOptions() & ~QRegularExpression::DotMatchesEverythingOption))
        return;
    m_bField = m_field.Parse(pattern);
    if (m_bField)
        return;
    const QString expression = m_expression.pattern();
    std::uint32_t options = PCRE2_UTF;
    if (m_expression.patternOptions() & QRegularExpression::DotMatchesEverythingOption)
        options |= PCRE2_DOTALL;
    int error = 0;
    PCRE2_SIZE errorAt = 0;
    std::unique_ptr<pcre2_real_code_16, Free> code(pcre2_compile_16(reinterpret_cast<PCRE2_SPTR16>(expression.utf16()),
                                                                    PCRE2_SIZE(expression.size()), options, &error,
                                                                    &errorAt, nullptr));
    if (!code)
        return;
    m_pData.reset(pcre2_match_data_create_from_pattern_16(code.get(), nullptr));
    if (!m_pData)
        return;
    // Without JIT (a platform PCRE2 has none for) the interpreter gives the same results, slower.
    m_bJit = pcre2_jit_compile_16(code.get(), PCRE2_JIT_COMPLETE) == 0;
    m_pCode = std::move(code);
}

CPatternRun::~CPatternRun() = default;

bool CPatternRun::Run(QStringView subject, qsizetype from)
{
    m_subject = subject;
    m_nSet = 0;
    m_bFallback = false;
    if (m_bField) {
        if (!m_field.Find(subject, from, &m_fieldFound[0], &m_fieldFound[2], &m_fieldFound[3], &m_fieldFound[1]))
            return false;
        m_nSet = 2;
        return true;
    }
    if (m_pCode) {
        // Each unit is a byte's Latin-1 character, valid UTF-16: the check of the subject is spared.
        const auto text = reinterpret_cast<PCRE2_SPTR16>(subject.utf16());
        pcre2_match_context_16 *context = m_bJit ? JitContext() : nullptr;
        const int rc = context ? pcre2_jit_match_16(m_pCode.get(), text, PCRE2_SIZE(subject.size()), PCRE2_SIZE(from),
                                                    0, m_pData.get(), context)
                              : pcre2_match_16(m_pCode.get(), text, PCRE2_SIZE(subject.size()), PCRE2_SIZE(from),
                                               PCRE2_NO_UTF_CHECK, m_pData.get(), nullptr);
        if (rc == PCRE2_ERROR_NOMATCH)
            return false;
        // A match ending before it starts (\K in an assertion, where the library allows it) is left
        // to QRegularExpression's reading of it.
        if (rc > 0 && pcre2_get_ovector_pointer_16(m_pData.get())[1] >= pcre2_get_ovector_pointer_16(m_pData.get())[0]) {
            m_nSet = rc;
            return true;
        }
    }
    m_bFallback = true;
    m_fallback = m_expression.match(subject);
    return m_fallback.hasMatch();
}

QStringView CPatternRun::Captured(int group) const
{
    if (m_bFallback)
        return m_fallback.capturedView(group);
    if (group < 0 || group >= m_nSet)
        return QStringView();
    if (m_bField)
        return m_subject.sliced(m_fieldFound[size_t(2 * group)], m_fieldFound[size_t(2 * group + 1)] - m_fieldFound[size_t(2 * group)]);
    const PCRE2_SIZE *ovector = pcre2_get_ovector_pointer_16(m_pData.get());
    const PCRE2_SIZE start = ovector[2 * group];
    const PCRE2_SIZE end = ovector[2 * group + 1];
    if (start == PCRE2_UNSET)
        return QStringView();
    return m_subject.sliced(qsizetype(start), qsizetype(end - start));
}
