#pragma once

#include <QString>
#include <QStringList>
#include <memory>

// The network lab from C++: namespaces made by scripts/netlab, the calling thread moved
// into the workstation namespace (threads it creates later live there too), and programs
// started inside the lab's namespaces. Used by system tests and benchmarks; everything
// that sends runs inside it, never in the namespace the process started in.
namespace velomar::emu {

// A program running inside one namespace of a lab. Ended (TERM, then KILL) when the
// object goes; it also dies with the process that started it.
class LabProcess {
  public:
    // Starts `program arguments` inside the network namespace netns.
    LabProcess(const QString& netns, const QString& program, const QStringList& arguments);
    ~LabProcess();
    LabProcess(const LabProcess&) = delete;
    LabProcess& operator=(const LabProcess&) = delete;

    // Runs a program to its end (bounded) in the caller's namespace: its exit code (-1 when
    // it timed out or was ended by a signal) and its standard output and error.
    struct Result {
        int exitCode = -1;
        QString output;  // standard output, and standard error unless kept apart
        QString errors;  // standard error when kept apart
        qint64 ms = 0;   // how long it ran
    };
    static Result run(const QString& program, const QStringList& arguments, int timeoutMs = 10000,
                      bool errorsApart = false);

    // Waits (bounded) until the output holds `text`; false on time-out or exit.
    bool waitForOutput(const QString& text, int timeoutMs);
    // Standard output and error so far.
    QString output();
    bool running();
    // Waits (bounded) for the program to end by itself; its exit code, or -1 when it is
    // still running or was ended by a signal.
    int waitForExit(int timeoutMs);
    // TERM, wait up to timeoutMs, then KILL. Returns the exit code (-1 if killed).
    int stop(int timeoutMs = 3000);

  private:
    LabProcess(const QString& program, const QStringList& arguments, bool errorsApart = false);
    // Takes what the program wrote so far; waits up to waitMs for more.
    void readOutput(int waitMs);
    // Collects the exit status if the program has ended.
    bool reap(bool block);

    long pid_ = -1;
    int out_ = -1;  // read end of the program's standard output (and error)
    int err_ = -1;  // read end of its standard error when kept apart
    bool exited_ = false;
    int status_ = 0;
    QByteArray bytes_;
    QByteArray errorBytes_;
};

class NetLab {
  public:
    // Names and addresses follow the plan in lab/plan.env.
    struct Options {
        int ifaces = 1;       // workstation interfaces, 1 up to the plan's number of subnets
        int devices = 1;      // device namespaces
        bool routed = false;  // the devices behind a router namespace (one interface)
    };

    // Empty when a lab can be made here; otherwise why not (not root, no script...).
    static QString unavailableReason();

    // Brings the lab up (a name unique to this process) and moves the calling thread into
    // its workstation namespace. Throws std::runtime_error with the reason on failure.
    explicit NetLab(Options options);
    NetLab() : NetLab(Options{}) {}
    // Moves the thread back, ends what runs in the lab and removes it.
    ~NetLab();
    NetLab(const NetLab&) = delete;
    NetLab& operator=(const NetLab&) = delete;

    const QString& name() const { return name_; }
    const Options& options() const { return options_; }
    QString workstationNamespace() const;
    QString deviceNamespace(int k = 1) const;
    // The workstation's address on interface iface, device k's on that interface's subnet.
    static QString workstationAddress(int iface = 1);
    static QString deviceAddress(int k = 1, int iface = 1);
    // Device k's address in the routed layout, and what the workstation routes through the
    // router ("198.18.16.0/20", the devices' /24 at its start).
    static QString routedDeviceAddress(int k = 1);
    static QString routedNetwork();
    // The bridge in the workstation namespace that is interface iface.
    static QString workstationInterface(int iface = 1);

    // True when the calling thread is in this lab's workstation namespace.
    bool callerInWorkstation() const;

    std::unique_ptr<LabProcess> start(const QString& netns, const QString& program,
                                      const QStringList& arguments);

    // Where the build and the sources are: VELOMAR_BINARY_DIR / VELOMAR_SOURCE_DIR when
    // set (CTest sets them), else found from this executable's build folder.
    static QString binaryDir();
    static QString sourceDir();

  private:
    static void removeStaleLabs();
    static void runNetlab(const QStringList& arguments);

    Options options_;
    QString name_;
    int homeNs_ = -1;
    bool up_ = false;
};

}  // namespace velomar::emu
