// velomar-cli's command table feeds the parser, --help, the manual page and the bash
// completion: they cannot disagree, and the completion really completes.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>

#include "cli/Command.h"
#include "cli/Help.h"

using namespace velomar::cli;

namespace {

// What the generated completion offers for the words typed so far (the last one being
// completed), run by bash itself.
QStringList Complete(const QStringList& words) {
    QTemporaryFile script;
    EXPECT_TRUE(script.open());
    QString quoted;
    for (const QString& w : words) quoted += " '" + w + "'";
    script.write((BashCompletion() + "COMP_WORDS=(" + quoted +
                  " ); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _velomar_cli; "
                  "printf '%s\\n' \"${COMPREPLY[@]}\"\n")
                     .toUtf8());
    script.flush();
    QProcess bash;
    bash.start("bash", {"--norc", script.fileName()});
    EXPECT_TRUE(bash.waitForFinished(10000));
    return QString::fromUtf8(bash.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

}  // namespace

TEST(CliCommands, EveryOptionIsInItsSynopsisHelpAndManualPage) {
    const QString man = ManPage("9.9");
    QStringList names;
    for (const Command* c : Commands()) {
        EXPECT_FALSE(names.contains(c->name)) << c->name.toStdString();
        names << c->name;
        ASSERT_NE(c->run, nullptr) << c->name.toStdString();
        EXPECT_EQ(FindCommand(c->name), c);
        const QString help = CommandHelpText(*c);
        EXPECT_TRUE(help.startsWith("Usage: velomar-cli " + c->name + ' '));
        for (const Option& o : c->options) {
            for (const QString& n : o.names) {
                EXPECT_TRUE(c->synopsis.contains(n))
                    << c->name.toStdString() << " " << n.toStdString();
                EXPECT_TRUE(help.contains(n)) << c->name.toStdString() << " " << n.toStdString();
                QString roff = n;
                EXPECT_TRUE(man.contains(roff.replace("-", "\\-"))) << n.toStdString();
            }
        }
        EXPECT_TRUE(GlobalHelp().contains("  " + c->name)) << c->name.toStdString();
    }
    EXPECT_EQ(GroupMembers("config"),
              (QStringList{"show", "export", "import", "diff", "set", "keys"}));
    // The firmware command takes --format, and says so.
    EXPECT_TRUE(FindCommand("firmware")->synopsis.contains("--format table|json"));
}

TEST(CliCommands, TheGeneratedCompletionCompletesCommandsOptionsAndValues) {
    if (QStandardPaths::findExecutable("bash").isEmpty()) GTEST_SKIP() << "no bash here";
    EXPECT_EQ(Complete({"velomar-cli", "con"}), QStringList{"config"});
    EXPECT_EQ(Complete({"velomar-cli", "config", "s"}), (QStringList{"show", "set"}));
    EXPECT_EQ(Complete({"velomar-cli", "config", "show", "--f"}), QStringList{"--format"});
    EXPECT_EQ(Complete({"velomar-cli", "config", "show", "--format", ""}),
              (QStringList{"text", "json"}));
    EXPECT_EQ(Complete({"velomar-cli", "--quiet", "search", "--format", "nd"}),
              QStringList{"ndjson"});
    EXPECT_EQ(Complete({"velomar-cli", "set", "--verify"}), QStringList{"--verify-timeout"});
    EXPECT_EQ(Complete({"velomar-cli", "firmware", "--y"}), QStringList{"--yes"});
}
