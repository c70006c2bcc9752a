#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>
#include <vector>

#include "core/Discovery.h"
#include "core/NetworkSet.h"

namespace velomar {

// One row of a network set: the device and the values given for it; a value not given
// keeps what the device has now.
struct SetRow {
    int line = 0;  // where it came from (0: the command line)
    QString macText;
    QByteArray mac;
    std::optional<QString> ip, mask, gateway, pelorin, name;
};

// Reads a network set table: a header naming the columns (mac first or anywhere; ip, mask,
// gateway, pelorin_ip, name optional; the other columns of `search --format csv` are
// allowed and ignored, but raw_name keeps an unedited name exact), then one row per
// device. Empty cells keep the
// device's value; blank lines and lines starting with # are skipped; fields may be quoted
// ("" inside quotes is one "). Throws Error "FILE:LINE: problem" for the first problem.
std::vector<SetRow> ParseSetTable(const QByteArray& data, const QString& fileName);

// Checks every row against the devices found and each other before anything is sent:
// known MAC, one row per MAC, valid addresses, no IP held twice afterwards. Returns the
// problems ("LINE: problem" where a row has a line); `plan` gets the complete texts of
// every row when there is none.
QStringList CheckSetPlan(const std::vector<SetRow>& rows, const std::vector<FoundDevice>& found,
                         std::vector<NetworkSetTexts>& plan);

enum class SetOutcome { Verified, SentUnverified, Failed };
QString OutcomeText(SetOutcome outcome);

struct SetResult {
    NetworkSetTexts texts;
    SetOutcome outcome = SetOutcome::Failed;
    QString message;
};

// True when a device's reply shows the values a network set frame gave it.
bool ReplyHolds(const DiscoveryReply& reply, const QByteArray& setFrame);

// Sends the 'S' frame of each entry, then searches again until every device answers with
// its new values or `verifyTimeout` passes. A device whose new values did not show in a
// round gets its frame again, up to `retries.repeats` times. A device is verified only by
// a reply that holds every value its frame gave.
std::vector<SetResult> RunNetworkSets(DeviceLink& link, const std::vector<NetworkSetTexts>& plan,
                                      std::chrono::milliseconds verifyTimeout,
                                      const Retries& retries = {});

}  // namespace velomar
