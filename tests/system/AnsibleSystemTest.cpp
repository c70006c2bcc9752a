// Ansible over the lab: the dynamic inventory names every device, and the playbook backs up
// two sites and rolls firmware out to them, each site a host with a local connection inside
// the workstation namespace, its devices behind the lab's router.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>

#include "support/CliRun.h"

using namespace velomar;
using namespace velomar::test;

namespace {

const QString kA = "00-1A-2B-00-00-0A", kB = "00-1A-2B-00-00-0B", kC = "00-1A-2B-00-00-0C";

// Site 1 is device namespace 1 (A), site 2 namespace 2 (B and C).
void StartSites(Lab& lab) {
    const auto fleet = [&](const QString& name, const QStringList& macs) {
        QJsonArray devices;
        for (const QString& m : macs) devices.append(QJsonObject{{"mac", m}});
        return lab.writeFile(name, QJsonDocument(QJsonObject{{"devices", devices}}).toJson());
    };
    lab.startEmulator({"--fleet", fleet("site1.json", {kA}), "--ports", "1"}, 1);
    lab.startEmulator({"--fleet", fleet("site2.json", {kB, kC}), "--ports", "1"}, 2);
}

// An Ansible tool in the workstation namespace, with its state kept in the lab's folder.
emu::LabProcess::Result Ansible(Lab& lab, const QString& tool, const QStringList& arguments,
                                const QStringList& environment = {}) {
    const QString contrib = QDir(emu::NetLab::sourceDir()).filePath("contrib/ansible");
    QStringList args{"netns",
                     "exec",
                     lab.net().workstationNamespace(),
                     "env",
                     "HOME=" + lab.dir(),
                     "ANSIBLE_LOCAL_TEMP=" + lab.dir() + "/ansible-tmp",
                     "ANSIBLE_REMOTE_TEMP=" + lab.dir() + "/ansible-tmp",
                     "ANSIBLE_NOCOLOR=1",
                     "ANSIBLE_PYTHON_INTERPRETER=auto_silent",
                     "VELOMAR_CLI=" + CliBinary()};
    args += environment;
    args << tool;
    for (const QString& a : arguments) args << QString(a).replace("@contrib", contrib);
    return emu::LabProcess::run("ip", args, 180000, true);
}

std::string Text(const emu::LabProcess::Result& r) {
    return ("exit " + QString::number(r.exitCode) + "\n" + r.output + "\n" + r.errors)
        .toStdString();
}

QJsonObject ReadJson(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object()
                                       : QJsonObject{};
}

}  // namespace

#define VELOMAR_REQUIRE_ANSIBLE()                                                        \
    do {                                                                                 \
        if (QStandardPaths::findExecutable("ansible-playbook").isEmpty())                \
            GTEST_SKIP() << "ansible-core is not installed (scripts/setup installs it)"; \
    } while (0)

TEST(Ansible, TheDynamicInventoryNamesEveryDeviceWithItsGroupsAndVariables) {
    VELOMAR_REQUIRE_LAB();
    VELOMAR_REQUIRE_ANSIBLE();
    Lab lab({.devices = 2, .routed = true});
    StartSites(lab);
    const auto r = Ansible(
        lab, "ansible-inventory", {"-i", "@contrib/velomar_inventory", "--list"},
        {"VELOMAR_INVENTORY_ARGS=--ip " + lab.deviceAddress(1) + "/29 --rate 100 --timeout 1"});
    ASSERT_EQ(r.exitCode, 0) << Text(r);
    const QJsonObject inventory = QJsonDocument::fromJson(r.output.toUtf8()).object();
    const QJsonObject vars = inventory.value("_meta").toObject().value("hostvars").toObject();
    EXPECT_EQ(vars.keys(), (QStringList{kA, kB, kC})) << Text(r);
    const QJsonObject b = vars.value(kB).toObject();
    EXPECT_EQ(b.value("tervane_mac").toString(), kB);
    EXPECT_EQ(b.value("tervane_answered_from").toString(), lab.deviceAddress(2));
    EXPECT_EQ(b.value("tervane_local_address").toString(), lab.workstationAddress());
    EXPECT_FALSE(b.value("tervane_version").toString().isEmpty());
    const QJsonArray subnet =
        inventory.value("subnet_198_18_1_0_24").toObject().value("hosts").toArray();
    EXPECT_EQ(subnet.size(), 3) << Text(r);
    bool inModelGroup = false;
    for (const QString& g : inventory.keys())
        inModelGroup =
            inModelGroup || (g.startsWith("model_") &&
                             inventory.value(g).toObject().value("hosts").toArray().contains(kA));
    EXPECT_TRUE(inModelGroup) << Text(r);

    // --host, which Ansible asks only without _meta: one device's variables, {} for others.
    const CliResult host = RunCli(lab, {"inventory", "--host", kA, "--ip", lab.deviceAddress(1)});
    EXPECT_EQ(host.exitCode, 0) << host.text();
    EXPECT_EQ(host.json().value("tervane_ip").toString(), vars.value(kA)["tervane_ip"].toString());
    const CliResult none = RunCli(lab, {"inventory", "--host", kC, "--ip", lab.deviceAddress(1)});
    EXPECT_EQ(none.exitCode, 4) << none.text();
    EXPECT_EQ(none.out.trimmed(), "{\n}");
    EXPECT_EQ(RunCli(lab, {"inventory"}).exitCode, 2);
}

TEST(Ansible, ThePlaybookBacksUpTwoSitesAndRollsFirmwareOutSiteBySite) {
    VELOMAR_REQUIRE_LAB();
    VELOMAR_REQUIRE_ANSIBLE();
    Lab lab({.devices = 2, .routed = true});
    StartSites(lab);
    const QString sites = lab.writeFile(
        "sites.ini", QStringLiteral("[sites]\n"
                                    "site1 ansible_connection=local velomar_workdir=%1/work1 "
                                    "velomar_args=\"--ip %2 --timeout 1\"\n"
                                    "site2 ansible_connection=local velomar_workdir=%1/work2 "
                                    "velomar_args=\"--ip %3 --timeout 1\"\n")
                         .arg(lab.dir(), lab.deviceAddress(1), lab.deviceAddress(2))
                         .toUtf8());
    const QByteArray image(2 * 1024 + 5, 'i');
    const QString results = lab.dir() + "/results";
    const auto r = Ansible(lab, "ansible-playbook",
                           // Both sites are this host: one at a time, as port 2057 is.
                           {"-i", sites, "@contrib/fleet.yml", "--forks", "1", "-e",
                            "velomar_cli=" + CliBinary(), "-e", "velomar_results=" + results, "-e",
                            "velomar_firmware=" + lab.writeFile("fw.bin", image)});
    ASSERT_EQ(r.exitCode, 0) << Text(r);

    const QJsonObject one = ReadJson(results + "/site1/backup.json");
    const QJsonObject two = ReadJson(results + "/site2/backup.json");
    EXPECT_EQ(one.value("devices").toArray().size(), 1) << Text(r);
    EXPECT_EQ(two.value("devices").toArray().size(), 2) << Text(r);
    EXPECT_TRUE(QFile::exists(results + "/site1/backup.tar.gz"));
    EXPECT_TRUE(QFile::exists(results + "/site2/backup.tar.gz"));
    for (const auto& [site, k, macs] :
         {std::tuple{"site1", 1, QStringList{kA}}, std::tuple{"site2", 2, QStringList{kB, kC}}}) {
        const QJsonArray rolled =
            ReadJson(results + "/" + site + "/rollout.json").value("devices").toArray();
        EXPECT_EQ(rolled.size(), macs.size()) << site;
        for (const auto& d : rolled)
            EXPECT_EQ(d.toObject().value("result").toString(), "succeeded") << site;
        for (const QString& mac : macs) {
            QFile stored(lab.firmwareImagePath(mac, k));
            EXPECT_TRUE(stored.open(QIODevice::ReadOnly) && stored.readAll() == image)
                << mac.toStdString();
        }
    }
}
