// Loopback TCP ports for servers that tests start.
#pragma once

namespace testsupport {

// A port on 127.0.0.1 that the kernel handed out as free just now.
int FreePort();

// The first port of |count| consecutive ports on 127.0.0.1, all free just
// now and below the ephemeral range (so that outgoing connections of the
// same machine do not take them meanwhile). Different processes start the
// search at different places; -1 when none was found.
int FreePortBlock(int count);

// True when something accepts connections on 127.0.0.1:|port|.
bool Accepts(int port);

}  // namespace testsupport
