// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace kinoverd::test {

// True only inside tools/private-lan: its marker is set and loopback is the
// only interface, so nothing a test sends can reach a real network.
bool InsidePrivateLan();

}  // namespace kinoverd::test
