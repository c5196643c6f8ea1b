// The test bench's side of the model's network.
#pragma once

#include <cstddef>

namespace world {

// Echoes go out but no reply is seen, as from a peer that stopped answering.
void SetEchoesAnswered(bool answered);
// Echoes are answered with this status instead of by the peer (IP_SUCCESS, the
// default: by the peer), as a router's "destination host unreachable" comes back.
void SetEchoReplyStatus(unsigned long status);
// NTDLL without RtlIpv6StringToAddressA, as on systems that lack it.
void SetIpv6ConversionAvailable(bool available);
// WSAStartup fails (WSASYSNOTREADY), as when the network subsystem is not ready.
void SetWinsockReady(bool ready);
// Sockets created and not yet closed (WSACleanup closes what is left).
size_t LiveSockets();

}  // namespace world
