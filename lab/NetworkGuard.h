#pragma once

#include <QString>

namespace velomar::emu {

// True for addresses of the lab range 198.18.0.0/15.
bool IsLabAddress(const QString& dotted);

// Empty when the emulator may run here: every IPv4 address of this network namespace
// (loopback aside) lies in 198.18.0.0/15, and so does the flood target (or it is loopback).
// Otherwise the reason to refuse.
QString LabNetworkRefusal(const QString& floodTarget = {});

}  // namespace velomar::emu
