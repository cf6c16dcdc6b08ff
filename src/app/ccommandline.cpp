#include "app/ccommandline.h"

#include "app/cchecksumcommand.h"

#include <QFileInfo>

#include <cstdio>

namespace {

const char *const kProgramName = "quillnet";

void Print(FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
}

// The argument that named option `name`, as the user typed it ("-x", "--name=value" gives "--name").
QString AsTyped(const QStringList &arguments, const QString &name)
{
    for (const QString &argument : arguments.mid(1)) {
        const QString typed = argument.section(QLatin1Char('='), 0, 0);
        if (typed.startsWith(QLatin1Char('-')) && QStringView(typed).mid(typed.startsWith(QLatin1String("--")) ? 2 : 1) == name)
            return typed;
    }
    return name;
}

}  // namespace

CCommandLine::CCommandLine()
    : m_helpOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("このﾍﾙﾌﾟを表示して終了します。"))
    , m_versionOption({QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("ﾊﾞｰｼﾞｮﾝを表示して終了します。"))
    , m_programName(QLatin1String(kProgramName))
{
    // "-style" is one option, as the GUI library's own options are written, not "-s -t -y -l -e".
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    AddOption(m_helpOption);
    AddOption(m_versionOption);
    for (const QCommandLineOption &option : CBatchOptions::Options())
        AddOption(option);
    for (const QCommandLineOption &option : CChecksumCommand::Options())
        AddOption(option);
    for (const QCommandLineOption &option : CRelayCommand::OwnOptions())
        AddOption(option);
    AddWindowSystemOptions();
}

void CCommandLine::AddOption(const QCommandLineOption &option)
{
    m_parser.addOption(option);
    if (!(option.flags() & QCommandLineOption::HiddenFromHelp))
        m_options << option;
}

void CCommandLine::AddWindowSystemOptions()
{
    struct WindowSystemOption {
        const char *name;
        bool hasValue;
    };
    const WindowSystemOption options[] = {
        {"platform", true}, {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
        {"qwindowgeometry", true}, {"qwindowicon", true}, {"qwindowtitle", true}, {"session", true},
        {"display", true}, {"geometry", true}, {"style", true}, {"stylesheet", true},
        {"reverse", false}, {"widgetcount", false}, {"nograb", false}, {"dograb", false}};
    for (const WindowSystemOption &entry : options) {
        QCommandLineOption option{QLatin1String(entry.name), QString(),
                                  entry.hasValue ? QStringLiteral("value") : QString()};
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        AddOption(option);
    }
}

CCommandLine::Action CCommandLine::Parse(const QStringList &arguments)
{
    m_documentPath.clear();
    m_errorText.clear();
    if (!arguments.isEmpty() && !arguments.constFirst().isEmpty())
        m_programName = QFileInfo(arguments.constFirst()).fileName();
    // "--batch --commands FILE": the batch run takes its sequences from --commands, not a scenario.
    QStringList given = arguments;
    for (qsizetype i = 1; i + 1 < given.size(); ++i) {
        if (given[i] == QLatin1String("--batch") && given[i + 1].startsWith(QLatin1String("--")))
            given[i] = QStringLiteral("--batch=");
    }
    if (!m_parser.parse(given)) {
        const QStringList unknown = m_parser.unknownOptionNames();
        m_errorText = unknown.isEmpty() ? m_parser.errorText()
                                        : QStringLiteral("不明なｵﾌﾟｼｮﾝです: %1").arg(AsTyped(arguments, unknown.constFirst()));
        return Fail;
    }
    if (m_parser.isSet(m_helpOption))
        return ShowHelp;
    if (m_parser.isSet(m_versionOption))
        return ShowVersion;
    m_bRelay = false;
    if (CRelayCommand::IsAsked(m_parser)) {
        m_bRelay = CRelayCommand::Read(m_parser, &m_relay, &m_errorText);
        return m_bRelay ? Run : Fail;
    }
    if (!CRelayCommand::CheckWithoutRelay(m_parser, &m_errorText))
        return Fail;
    // With --batch, --checksum names what goes into every line sent; alone, it asks for a value.
    const bool batch = m_parser.isSet(CBatchOptions::Options().constFirst());
    if (CChecksumCommand::IsAsked(m_parser) && !batch) {
        if (!CChecksumCommand::InputIsNamed(m_parser, &m_errorText))
            return Fail;
        return Checksum;
    }
    for (const QCommandLineOption &option : CChecksumCommand::Options().mid(batch ? 1 : 0)) {
        if (m_parser.isSet(option)) {
            const QString name = option.names().constFirst();
            // A saved History is read only by the search.
            const QString partner = name == QStringLiteral("history") ? QStringLiteral("--checksum-search") : QStringLiteral("--checksum");
            m_errorText = batch ? QStringLiteral("--%1 は --batch と使えません").arg(name)
                                : QStringLiteral("--%1 は %2 と使います").arg(name, partner);
            return Fail;
        }
    }
    m_batch = CBatchOptions();
    if (!m_batch.Read(m_parser, &m_errorText))
        return Fail;
    m_documentPath = m_parser.positionalArguments().value(0);
    return Run;
}

int CCommandLine::Answer(const QStringList &arguments)
{
    switch (Parse(arguments)) {
    case ShowHelp:
        Print(stdout, HelpText());
        return 0;
    case ShowVersion:
        Print(stdout, VersionText() + QLatin1Char('\n'));
        return 0;
    case Checksum:
        return RunChecksum(stdin, stdout, stderr);
    case Fail:
        Print(stderr, m_programName + QStringLiteral(": ") + m_errorText + QStringLiteral("\n\n") + HelpText());
        return kUsageExitCode;
    case Run:
        break;
    }
    return -1;
}

int CCommandLine::RunChecksum(FILE *in, FILE *out, FILE *err) const
{
    return CChecksumCommand::Run(m_parser, in, out, err);
}

QString CCommandLine::HelpText() const
{
    QStringList names;
    int width = 0;
    for (const QCommandLineOption &option : m_options) {
        QStringList forms;
        for (const QString &name : option.names())
            forms << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        QString text = forms.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            text += QStringLiteral(" <%1>").arg(option.valueName());
        width = qMax(width, int(text.size()));
        names << text;
    }
    QString help = QStringLiteral("使い方: %1 [ｵﾌﾟｼｮﾝ] [ﾌｧｲﾙ]\n").arg(m_programName)
                 + QStringLiteral("        %1 --batch SCENARIO.csv [ｵﾌﾟｼｮﾝ]\n").arg(m_programName)
                 + QStringLiteral("        %1 --batch --commands FILE --run NAME[,NAME...] (--to ADDRESS | --listen [HOST:]PORT) [ｵﾌﾟｼｮﾝ]\n").arg(m_programName)
                 + QStringLiteral("        %1 --relay SIDE_A SIDE_B [--pcapng FILE] [--settings DOC] [--duration S] [--disturb SPEC]\n").arg(m_programName)
                 + QStringLiteral("        %1 --checksum NAME [--hex DIGITS | --text TEXT | --file PATH | -]\n").arg(m_programName)
                 + QStringLiteral("ｿｹｯﾄ通信のﾃｽﾄﾂｰﾙです。ﾌｧｲﾙ (*.qn) を指定するとそのﾌｧｲﾙを開きます。\n\n")
                 + QStringLiteral("ｵﾌﾟｼｮﾝ:\n");
    for (int i = 0; i < m_options.size(); ++i)
        help += QStringLiteral("  ") + names.at(i).leftJustified(width + 2) + m_options.at(i).description() + QLatin1Char('\n');
    return help;
}

QString CCommandLine::VersionText()
{
    return QStringLiteral("Quillnet " QN_VERSION);
}

QStringList CCommandLine::Arguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}
