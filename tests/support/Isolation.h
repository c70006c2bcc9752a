#pragma once

// Every test process moves into a network namespace of its own before anything else runs,
// so that no test can ever put a datagram on the machine's real network. Tests that send
// must skip when this failed (see VELOMAR_REQUIRE_ISOLATION).
namespace velomar::test {

// Unshares the network namespace (as root, or through a user namespace where the system
// allows it) and brings its loopback up. Returns false when neither was possible. On
// Windows it only looks: true when no interface but loopback is up.
bool IsolateNetwork();
bool NetworkIsolated();

}  // namespace velomar::test

#define VELOMAR_REQUIRE_ISOLATION()                                                               \
    do {                                                                                          \
        if (!::velomar::test::NetworkIsolated())                                                  \
            GTEST_SKIP() << "needs a private network namespace (run as root, or enable "          \
                            "unprivileged user namespaces); nothing is sent from the host's own"; \
    } while (0)
