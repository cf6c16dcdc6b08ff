#include "session/ui/creplyrulesdlg.h"

#include "batch/csvfile.h"
#include "batch/ui/cvsflexgrid.h"
#include "platform/cchecksum.h"
#include "platform/ui/dialogunits.h"
#include "platform/prompts.h"
#include "platform/ui/uifonts.h"

#include "session/creplymatcher.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kBadCell = 0x9999FF;  // light red (0x00BBGGRR)

QString OnOffText(bool on)
{
    return on ? QStringLiteral("ON") : QStringLiteral("OFF");
}

// The checksum rule with the next name of the catalogue (none after the last).
QString NextChecksum(const QString &text)
{
    const QStringList names = CChecksum::Names();
    const QString name = text.section(QLatin1Char(':'), 0, 0).trimmed();
    const qsizetype next = names.indexOf(name, 0) + 1;  // 0 for none or an unknown name
    if (next >= names.size())
        return QString();
    const QString options = text.section(QLatin1Char(':'), 1);
    return options.isEmpty() ? names[next] : names[next] + QLatin1Char(':') + options;
}

}  // namespace

CReplyRulesDlg::CReplyRulesDlg(const CReplyRuleTable &table, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_table(table)
{
    const QFont dialogFont = DialogFont(QString::fromUtf8(kFaceMsPGothic), 9);
    setFont(dialogFont);
    setWindowTitle(QStringLiteral("応答ﾙｰﾙ設定"));
    // Wide enough for every column, the checksum's too.
    setFixedSize(DluToPixels(dialogFont, 530, 272));

    m_pUse = new QCheckBox(QStringLiteral("応答ﾙｰﾙを使用する"), this);
    m_pUse->setObjectName(QString::number(IDC_USE));
    m_pUse->setGeometry(DluToPixels(dialogFont, 7, 7, 150, 10));

    auto *label = new QLabel(QStringLiteral("受信した電文に最初に一致したﾙｰﾙが応答します (ﾙｰﾌﾟﾊﾞｯｸ ONの時は応答がｴｺｰの代わりになり、"
                                            "一致しなければｴｺｰします)。ﾃｷｽﾄでは \\r \\n \\t \\\\ \\xHH が使えます。"
                                            "選択の列とﾁｪｯｸｻﾑ名はｽﾍﾟｰｽｷｰで切り替えます (例 CRC-16/MODBUS:le)。"
                                            "正規表現の ( ) と HEX の ?? は、応答形式 +変数 の応答で $1～$9 になります "
                                            "($0 ${seq} ${len} ${time} ${wait:ﾐﾘ秒} も使えます)。"),
                             this);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(DluToPixels(dialogFont, 7, 20, 458, 26));

    m_pGrid = new CvsFlexGrid(this);
    m_pGrid->setObjectName(QString::number(IDC_GRID));
    m_pGrid->setGeometry(DluToPixels(dialogFont, 7, 48, 458, 181));
    m_pGrid->SetFontName(QString::fromUtf8(kFaceMsGothic));
    m_pGrid->SetColCount(COL_LAST + 1);
    m_pGrid->SetRowCount(1);
    m_pGrid->SetHeaderLayout(QStringLiteral("No.|使用|照合形式|照合方法|照合ﾃﾞｰﾀ              |応答形式|"
                                            "応答ﾃﾞｰﾀ              |遅延(ms)|ﾁｪｯｸｻﾑ              |ﾁｪｯｸｻﾑ除外照合|"
                                            "状態      |次の状態  "));
    m_pGrid->SetEditAllowed(TRUE);
    m_pGrid->SetFixedColCount(1);
    m_pGrid->SetFixedRowCount(1);
    m_pGrid->SetBackColor(kWhite);
    connect(m_pGrid, &CvsFlexGrid::KeyDown, this, &CReplyRulesDlg::OnGridKeyDown);

    m_pOk = AddDialogButton(this, IDC_OK, QStringLiteral("OK"), 473, 7);
    m_pCancel = AddDialogButton(this, IDC_CANCEL, QStringLiteral("ｷｬﾝｾﾙ"), 473, 25);
    m_pAdd = AddDialogButton(this, IDC_ADD, QStringLiteral("追加"), 473, 55);
    m_pDelete = AddDialogButton(this, IDC_DELETE, QStringLiteral("削除"), 473, 73);
    m_pUp = AddDialogButton(this, IDC_UP, QStringLiteral("上へ"), 473, 91);
    m_pDown = AddDialogButton(this, IDC_DOWN, QStringLiteral("下へ"), 473, 109);
    m_pImport = AddDialogButton(this, IDC_IMPORT, QStringLiteral("読込み..."), 473, 139);
    m_pExport = AddDialogButton(this, IDC_EXPORT, QStringLiteral("保存..."), 473, 157);
    connect(m_pOk, &QPushButton::clicked, this, &CReplyRulesDlg::OnOK);
    connect(m_pCancel, &QPushButton::clicked, this, &CReplyRulesDlg::reject);
    connect(m_pAdd, &QPushButton::clicked, this, &CReplyRulesDlg::OnAdd);
    connect(m_pDelete, &QPushButton::clicked, this, &CReplyRulesDlg::OnDelete);
    connect(m_pUp, &QPushButton::clicked, this, [this] { OnMove(-1); });
    connect(m_pDown, &QPushButton::clicked, this, [this] { OnMove(1); });
    connect(m_pImport, &QPushButton::clicked, this, &CReplyRulesDlg::OnImport);
    connect(m_pExport, &QPushButton::clicked, this, &CReplyRulesDlg::OnExport);

    // 試験: a block typed here is answered as the session would answer it, without a connection.
    auto *trialLabel = new QLabel(QStringLiteral("試験"), this);
    trialLabel->setGeometry(DluToPixels(dialogFont, 7, 238, 22, 10));
    m_pTrialForm = new QComboBox(this);
    m_pTrialForm->setObjectName(QString::number(IDC_TRIAL_FORM));
    m_pTrialForm->addItems({CReplyRuleTable::FormText(false), CReplyRuleTable::FormText(true)});
    m_pTrialForm->setGeometry(DluToPixels(dialogFont, 30, 236, 40, 12));
    m_pTrial = new QLineEdit(this);
    m_pTrial->setObjectName(QString::number(IDC_TRIAL));
    m_pTrial->setPlaceholderText(QStringLiteral("受信したとする電文を入力すると、応答するﾙｰﾙと送信する応答を表示します"));
    m_pTrial->setGeometry(DluToPixels(dialogFont, 74, 236, 391, 12));
    m_pTrialResult = new QLabel(this);
    m_pTrialResult->setObjectName(QString::number(IDC_TRIAL_RESULT));
    m_pTrialResult->setWordWrap(true);
    m_pTrialResult->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pTrialResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pTrialResult->setGeometry(DluToPixels(dialogFont, 30, 251, 435, 18));
    connect(m_pTrial, &QLineEdit::textChanged, this, &CReplyRulesDlg::OnTrial);
    connect(m_pTrialForm, &QComboBox::currentIndexChanged, this, &CReplyRulesDlg::OnTrial);

    m_pUse->setChecked(m_table.use);
    ShowRules(m_table.rules);
    m_pGrid->setFocus();
}

QWidget *CReplyRulesDlg::GetDlgItem(int id) const
{
    switch (id) {
    case IDC_USE: return m_pUse;
    case IDC_GRID: return m_pGrid;
    case IDC_OK: return m_pOk;
    case IDC_CANCEL: return m_pCancel;
    case IDC_ADD: return m_pAdd;
    case IDC_DELETE: return m_pDelete;
    case IDC_UP: return m_pUp;
    case IDC_DOWN: return m_pDown;
    case IDC_IMPORT: return m_pImport;
    case IDC_EXPORT: return m_pExport;
    case IDC_TRIAL_FORM: return m_pTrialForm;
    case IDC_TRIAL: return m_pTrial;
    case IDC_TRIAL_RESULT: return m_pTrialResult;
    default: return nullptr;
    }
}

int CReplyRulesDlg::RuleCount() const
{
    return m_pGrid->GetRowCount() - 1;
}

void CReplyRulesDlg::ShowRule(int row, const CReplyRule &rule)
{
    m_pGrid->SetCellText(row, 0, QString::number(row));
    m_pGrid->SetCellText(row, COL_ENABLED, OnOffText(rule.enabled));
    m_pGrid->SetCellText(row, COL_MATCH_FORM, CReplyRuleTable::FormText(rule.matchText));
    m_pGrid->SetCellText(row, COL_KIND, CReplyRuleTable::KindText(rule.kind));
    m_pGrid->SetCellText(row, COL_MATCH, rule.match);
    m_pGrid->SetCellText(row, COL_REPLY_FORM, CReplyRuleTable::FormText(rule.replyText, rule.replyPlaceholders));
    m_pGrid->SetCellText(row, COL_REPLY, rule.reply);
    m_pGrid->SetCellText(row, COL_DELAY, QString::number(rule.delay));
    m_pGrid->SetCellText(row, COL_CHECKSUM, rule.checksum);
    m_pGrid->SetCellText(row, COL_WITHOUT_CHECKSUM, OnOffText(rule.matchWithoutChecksum));
    m_pGrid->SetCellText(row, COL_STATE, rule.state);
    m_pGrid->SetCellText(row, COL_NEXT_STATE, rule.nextState);
}

void CReplyRulesDlg::ShowRules(const QList<CReplyRule> &rules)
{
    m_pGrid->SetRowCount(1 + int(rules.size()));
    for (int i = 0; i < rules.size(); ++i)
        ShowRule(i + 1, rules[i]);
    if (RuleCount() > 0)
        m_pGrid->SetRangeCellProperty(CvsFlexGrid::kCellBackColor, 1, 1, RuleCount(), COL_LAST, kWhite);
}

bool CReplyRulesDlg::ReadRules(QList<CReplyRule> *rules, bool quiet, QString *error)
{
    m_pGrid->CommitEdit();
    if (RuleCount() > 0)
        m_pGrid->SetRangeCellProperty(CvsFlexGrid::kCellBackColor, 1, 1, RuleCount(), COL_LAST, kWhite);
    rules->clear();
    for (int row = 1; row <= RuleCount(); ++row) {
        const auto cell = [&](int col) { return m_pGrid->GetCellText(row, col).trimmed(); };
        const auto fail = [&](int col, const QString &reason) {
            if (quiet) {
                *error = QStringLiteral("ﾙｰﾙ %1: %2").arg(row).arg(reason);
                return false;
            }
            m_pGrid->SetRangeCellProperty(CvsFlexGrid::kCellBackColor, row, col, row, col, kBadCell);
            m_pGrid->SetCursorRow(row);
            m_pGrid->SetCursorCol(col);
            Message(QStringLiteral("ﾙｰﾙ %1: %2").arg(row).arg(reason));
            return false;
        };
        // An ON/OFF cell: false when it holds neither.
        const auto onOff = [&](int col, bool *on) {
            const QString text = cell(col).toUpper();
            *on = text == OnOffText(true);
            return *on || text == OnOffText(false);
        };
        CReplyRule rule;
        if (!onOff(COL_ENABLED, &rule.enabled))
            return fail(COL_ENABLED, QStringLiteral("使用は ON か OFF を指定してください。"));
        if (!onOff(COL_WITHOUT_CHECKSUM, &rule.matchWithoutChecksum))
            return fail(COL_WITHOUT_CHECKSUM, QStringLiteral("ﾁｪｯｸｻﾑ除外照合は ON か OFF を指定してください。"));
        const int matchForm = CReplyRuleTable::FormFromText(cell(COL_MATCH_FORM));
        if (matchForm < 0 || matchForm > 1)
            return fail(COL_MATCH_FORM, QStringLiteral("照合形式は HEX か ﾃｷｽﾄ を指定してください。"));
        rule.kind = CReplyRuleTable::KindFromText(cell(COL_KIND));
        if (rule.kind < 0)
            return fail(COL_KIND, QStringLiteral("照合方法は 一致、前方一致、含む、後方一致、正規表現、定期送信 のいずれかを指定してください。"));
        const int replyForm = CReplyRuleTable::FormFromText(cell(COL_REPLY_FORM));
        if (replyForm < 0)
            return fail(COL_REPLY_FORM, QStringLiteral("応答形式は HEX か ﾃｷｽﾄ (変数を使うときは HEX+変数 か ﾃｷｽﾄ+変数) を指定してください。"));
        bool number = false;
        rule.delay = cell(COL_DELAY).toInt(&number);
        if (!number)
            rule.delay = -1;  // refused below with the range's text
        rule.matchText = matchForm == 1;
        rule.replyText = replyForm & 1;
        rule.replyPlaceholders = replyForm & 2;
        rule.match = m_pGrid->GetCellText(row, COL_MATCH);
        rule.reply = m_pGrid->GetCellText(row, COL_REPLY);
        rule.checksum = cell(COL_CHECKSUM);
        rule.state = cell(COL_STATE);
        rule.nextState = cell(COL_NEXT_STATE);
        int field = 0;
        const QString reason = rule.Check(&field);
        constexpr int kFieldColumns[] = {COL_KIND, COL_MATCH, COL_REPLY, COL_DELAY, COL_CHECKSUM, COL_STATE};
        if (!reason.isEmpty())
            return fail(kFieldColumns[field], reason);
        rules->append(rule);
    }
    return true;
}

void CReplyRulesDlg::Message(const QString &text)
{
    Prompts::Instance().MessageBox(this, text, Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
}

void CReplyRulesDlg::OnOK()
{
    QList<CReplyRule> rules;
    if (!ReadRules(&rules))
        return;
    m_table.use = m_pUse->isChecked();
    m_table.rules = rules;
    accept();
}

void CReplyRulesDlg::OnAdd()
{
    m_pGrid->CommitEdit();
    if (RuleCount() >= CReplyRuleTable::kMaxRules) {
        Message(QStringLiteral("応答ﾙｰﾙは %1 件までです。").arg(CReplyRuleTable::kMaxRules));
        return;
    }
    const int row = RuleCount() + 1;
    m_pGrid->SetRowCount(row + 1);
    ShowRule(row, CReplyRule{});
    m_pGrid->SetRangeCellProperty(CvsFlexGrid::kCellBackColor, row, 1, row, COL_LAST, kWhite);
    m_pGrid->SetCursorRow(row);
    m_pGrid->SetCursorCol(COL_MATCH);
}

void CReplyRulesDlg::OnDelete()
{
    m_pGrid->CommitEdit();
    const int row = m_pGrid->GetCursorRow();
    if (row < 1 || row > RuleCount())
        return;
    for (int r = row; r < RuleCount(); ++r) {
        for (int c = 1; c <= COL_LAST; ++c)
            m_pGrid->SetCellText(r, c, m_pGrid->GetCellText(r + 1, c));
    }
    m_pGrid->SetRowCount(RuleCount());
    if (RuleCount() > 0)
        m_pGrid->SetCursorRow(qMin(row, RuleCount()));
}

void CReplyRulesDlg::OnMove(int step)
{
    m_pGrid->CommitEdit();
    const int row = m_pGrid->GetCursorRow();
    const int other = row + step;
    if (row < 1 || row > RuleCount() || other < 1 || other > RuleCount())
        return;
    const int col = m_pGrid->GetCursorCol();
    for (int c = 1; c <= COL_LAST; ++c) {
        const QString text = m_pGrid->GetCellText(row, c);
        m_pGrid->SetCellText(row, c, m_pGrid->GetCellText(other, c));
        m_pGrid->SetCellText(other, c, text);
    }
    m_pGrid->SetCursorRow(other);
    m_pGrid->SetCursorCol(col);
}

void CReplyRulesDlg::OnImport()
{
    Prompts::FileRequest request;
    request.filter = QStringLiteral("ｶﾝﾏ区切りﾃｷｽﾄﾌｧｲﾙ (*.csv)|*.csv|全てのﾌｧｲﾙ (*.*)|*.*||");
    request.defaultExtension = QStringLiteral("csv");
    const QString path = Prompts::Instance().FileName(this, request);
    if (path.isEmpty())
        return;
    bool opened = false;
    bool more = false;
    // Lines as long as an exported rule can make them, and blank lines between rules as many as
    // may be; a file that goes on past that holds more rules than the table takes.
    constexpr int kMaxLines = 4096;
    constexpr qsizetype kMaxLine = 64 * 1024 * 1024;
    const QList<QByteArray> lines = ReadTextLines(path, kMaxLines, &opened, kMaxLine, &more);
    if (!opened) {
        Message(path + QStringLiteral(" Open err"));
        return;
    }
    QList<CReplyRule> rules;
    QString error;
    const auto tooLong = std::find_if(lines.begin(), lines.end(), [](const QByteArray &line) { return line.size() >= kMaxLine; });
    if (tooLong != lines.end())
        error = QStringLiteral("%1 行目: 行が長すぎます。").arg(tooLong - lines.begin() + 1);
    else if (more)
        error = QStringLiteral("応答ﾙｰﾙは %1 件までです。").arg(CReplyRuleTable::kMaxRules);
    if (!error.isEmpty() || !CReplyRuleTable::FromCsv(lines, &rules, &error)) {
        Message(path + QLatin1Char('\n') + error);
        return;
    }
    ShowRules(rules);
}

void CReplyRulesDlg::OnExport()
{
    CReplyRuleTable table;
    if (!ReadRules(&table.rules))
        return;
    Prompts::FileRequest request;
    request.open = false;
    request.filter = QStringLiteral("ｶﾝﾏ区切りﾃｷｽﾄﾌｧｲﾙ (*.csv)|*.csv|全てのﾌｧｲﾙ (*.*)|*.*||");
    request.defaultExtension = QStringLiteral("csv");
    request.overwritePrompt = true;
    const QString path = Prompts::Instance().FileName(this, request);
    if (!path.isEmpty() && !WriteCsvFile(path, table.ToCsv()))
        Message(path + QStringLiteral(" Open err"));
}

void CReplyRulesDlg::OnGridKeyDown(short *keyCode, short shift)
{
    const int row = m_pGrid->GetCursorRow();
    const int col = m_pGrid->GetCursorCol();
    if (*keyCode != 0x20 || shift != 0 || row < 1)
        return;
    const QString text = m_pGrid->GetCellText(row, col).trimmed();
    QString next;
    switch (col) {
    case COL_ENABLED:
    case COL_WITHOUT_CHECKSUM: next = OnOffText(text.toUpper() != OnOffText(true)); break;
    case COL_CHECKSUM: next = NextChecksum(text); break;
    case COL_MATCH_FORM: next = CReplyRuleTable::FormText(CReplyRuleTable::FormFromText(text) != 1); break;
    case COL_REPLY_FORM: {
        // HEX, ﾃｷｽﾄ, HEX+変数, ﾃｷｽﾄ+変数 in turn.
        const int form = (CReplyRuleTable::FormFromText(text) + 1) % 4;
        next = CReplyRuleTable::FormText(form & 1, form & 2);
        break;
    }
    case COL_KIND: next = CReplyRuleTable::KindText((CReplyRuleTable::KindFromText(text) + 1) % CReplyRule::kKindCount); break;
    default: return;
    }
    m_pGrid->SetCellText(row, col, next);
    *keyCode = 0;
}

void CReplyRulesDlg::OnTrial()
{
    QByteArray block;
    const QString typed = m_pTrial->text();
    if (typed.isEmpty()) {
        m_pTrialResult->clear();
        return;
    }
    if (!CReplyRule::Decode(m_pTrialForm->currentIndex() == 1, typed, &block) || block.isEmpty()) {
        m_pTrialResult->setText(QStringLiteral("試験の電文が正しくありません。"));
        return;
    }
    QList<CReplyRule> rules;
    QString error;
    if (!ReadRules(&rules, true, &error)) {
        m_pTrialResult->setText(error);
        return;
    }
    // As at the start of a connection: no state yet, each rule's first answer.
    CReplyMatcher matcher;
    matcher.SetRules(rules);
    QList<QByteArray> groups;
    const int number = matcher.Match(reinterpret_cast<const unsigned char *>(block.constData()), int(block.size()),
                                     nullptr, &groups);
    if (number == 0) {
        m_pTrialResult->setText(QStringLiteral("応答するﾙｰﾙはありません (ﾙｰﾌﾟﾊﾞｯｸ ONならｴｺｰします)。"));
        return;
    }
    CReplyTemplate::Context context;
    context.block = block;
    context.groups = groups;
    QList<CReplyTemplate::Part> parts;
    if (!matcher.Answer(number, context, &parts, &error)) {
        m_pTrialResult->setText(QStringLiteral("ﾙｰﾙ %1: 応答を作れないため送信しません: %2").arg(number).arg(error));
        return;
    }
    QStringList shown;
    qint64 at = matcher.Delay(number);
    for (const CReplyTemplate::Part &part : parts) {
        at += part.waitMs;
        shown << (at > 0 ? QStringLiteral("%1ms後 ").arg(at) : QString()) + QString::fromLatin1(part.bytes.toHex().toUpper());
    }
    QString text = QStringLiteral("ﾙｰﾙ %1 → %2").arg(number).arg(shown.join(QStringLiteral(" / ")));
    if (!matcher.NextState(number).isEmpty())
        text += QStringLiteral("  (状態 → %1)").arg(matcher.NextState(number));
    m_pTrialResult->setText(text);
}

void CReplyRulesDlg::keyPressEvent(QKeyEvent *event)
{
    // A key the grid's cell editor or a button has not taken: Escape cancels, Enter presses OK
    // (which checks every rule and keeps the dialog open on a fault).
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept();
        reject();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!(event->modifiers() & ~Qt::KeypadModifier)) {
            event->accept();
            if (auto *button = qobject_cast<QPushButton *>(focusWidget()))
                button->click();
            else
                OnOK();
            return;
        }
        break;
    default:
        break;
    }
    QDialog::keyPressEvent(event);
}
