// The addresses and ranges `search --ip` takes, on arbitrary text: either an error and no
// addresses, or at most the limit of distinct addresses, each of which a range or an
// address of the text names.
#include <QSet>

#include "FuzzSupport.h"
#include "core/AddressTargets.h"

using namespace velomar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(fuzz::Bytes(data, size));
    // A small limit keeps every run quick and still meets the refusal of too many.
    const AddressTargets t = ParseAddressTargets(text, 1024);
    if (!t.error.isEmpty()) {
        fuzz::Check(t.hosts.empty());
        return 0;
    }
    fuzz::Check(!t.hosts.empty() && t.hosts.size() <= 1024);
    const QSet<std::uint32_t> distinct(t.hosts.begin(), t.hosts.end());
    fuzz::Check(distinct.size() == qsizetype(t.hosts.size()));
    // Read back, the addresses are a list this parser takes again as the same.
    const AddressTargets again = ParseAddressTargets(t.texts().join(u','), 1024);
    fuzz::Check(again.error.isEmpty() && again.hosts == t.hosts);
    return 0;
}
