// The network target connects wherever its text says: it runs in a network
// namespace of its own, where only loopback exists, so no input can reach
// another machine. Host calls live here, apart from the Win32 model's names.
#pragma once

#include <cstdint>

// Moves the process into a fresh network namespace with loopback up. Must run
// before any other thread starts. False when the system does not allow it.
bool EnterPrivateNetwork();
// A peer listening on 127.0.0.1 and ::1 at the returned port; 0 on failure.
uint16_t StartLoopbackPeer();
// Accepts and closes whatever connected since the last call.
void DropPeerConnections();
