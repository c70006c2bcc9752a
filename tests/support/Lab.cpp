#include "support/Lab.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <stdexcept>

namespace velomar::test {

namespace {

QString macStem(const QString& mac) {
    QString digits = mac;
    digits.remove(QLatin1Char('-')).remove(QLatin1Char(':'));
    return digits.toUpper();
}

}  // namespace

Lab::Lab(Options options)
    : net_(std::make_unique<emu::NetLab>(
          emu::NetLab::Options{options.ifaces, options.devices, options.routed})) {
    if (!tmp_.isValid()) throw std::runtime_error("could not make a scratch folder for the lab");
}

Lab::~Lab() {
    for (auto& [k, process] : emulators_) process->stop();
    emulators_.clear();
    net_.reset();
}

QString Lab::emulatorBinary() {
    return QDir(emu::NetLab::binaryDir()).filePath(QStringLiteral("tervane-emu"));
}

QString Lab::emulatorDir(int k) const {
    return QDir(tmp_.path()).filePath(QStringLiteral("emu%1").arg(k));
}

void Lab::startEmulator(const QStringList& arguments, int k) {
    stopEmulator(k);
    const QString dir = emulatorDir(k);
    QDir().mkpath(dir);
    QFile::remove(QDir(dir).filePath(QStringLiteral("log.jsonl")));
    QStringList args = arguments;
    args << QStringLiteral("--log") << QDir(dir).filePath(QStringLiteral("log.jsonl"))
         << QStringLiteral("--firmware-dir") << QDir(dir).filePath(QStringLiteral("firmware"))
         << QStringLiteral("--config-dir") << QDir(dir).filePath(QStringLiteral("config"))
         << QStringLiteral("--lifetime") << QStringLiteral("600");
    auto process = net_->start(net_->deviceNamespace(k), emulatorBinary(), args);
    if (!process->waitForOutput(QStringLiteral(" listening on "), 10000)) {
        const QString out = process->output();
        process->stop();
        throw std::runtime_error(("tervane-emu did not start: " + out).toStdString());
    }
    emulators_[k] = std::move(process);
}

QString Lab::deviceAddress(int k, int iface) const {
    return net_->options().routed ? emu::NetLab::routedDeviceAddress(k)
                                  : emu::NetLab::deviceAddress(k, iface);
}

void Lab::stopEmulator(int k) {
    const auto it = emulators_.find(k);
    if (it == emulators_.end()) return;
    it->second->stop();
}

QString Lab::emulatorOutput(int k) {
    const auto it = emulators_.find(k);
    return it == emulators_.end() ? QString() : it->second->output();
}

QList<LogEntry> Lab::emulatorLog(int k) const {
    QList<LogEntry> entries;
    QFile file(QDir(emulatorDir(k)).filePath(QStringLiteral("log.jsonl")));
    if (!file.open(QIODevice::ReadOnly)) return entries;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        if (!line.endsWith('\n')) break;  // still being written
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.isEmpty()) continue;
        LogEntry e;
        e.t = o.value(QLatin1String("t")).toInteger();
        e.in = o.value(QLatin1String("dir")).toString() == QLatin1String("in");
        e.lost = o.value(QLatin1String("lost")).toBool();
        e.peer = o.value(QLatin1String("peer")).toString();
        e.peerAddress = e.peer.section(QLatin1Char(':'), 0, 0);
        e.to = o.value(QLatin1String("to")).toString();
        const QString letter = o.value(QLatin1String("letter")).toString();
        e.letter = letter.isEmpty() ? 0 : letter.at(0).toLatin1();
        e.bytes = QByteArray::fromHex(o.value(QLatin1String("hex")).toString().toLatin1());
        entries.push_back(e);
    }
    return entries;
}

QList<LogEntry> Lab::received(char letter, int k) const {
    QList<LogEntry> out;
    for (const LogEntry& e : emulatorLog(k)) {
        if (e.in && (letter == 0 || e.letter == letter)) out.push_back(e);
    }
    return out;
}

QList<LogEntry> Lab::sent(char letter, int k) const {
    QList<LogEntry> out;
    for (const LogEntry& e : emulatorLog(k)) {
        if (!e.in && (letter == 0 || e.letter == letter)) out.push_back(e);
    }
    return out;
}

QString Lab::firmwareImagePath(const QString& mac, int k) const {
    return QDir(emulatorDir(k)).filePath(QStringLiteral("firmware/%1.bin").arg(macStem(mac)));
}

QString Lab::configFilePath(const QString& mac, int k) const {
    return QDir(emulatorDir(k)).filePath(QStringLiteral("config/%1.vlm").arg(macStem(mac)));
}

QString Lab::writeFile(const QString& name, const QByteArray& bytes) const {
    const QString path = QDir(tmp_.path()).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        throw std::runtime_error(("could not write " + path).toStdString());
    }
    return path;
}

bool Lab::waitFor(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() >= timeoutMs) return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

}  // namespace velomar::test
