#pragma once

// Whether the computer looks online: a network interface other than loopback is up
// and a default route (IPv4 or IPv6) leads out through one.
bool HasNetworkConnection();
