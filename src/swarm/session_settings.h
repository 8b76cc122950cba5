#pragma once

// The one settings_pack of the session, made from the program's manners among peers.

#include <libtorrent/ip_filter.hpp>
#include <libtorrent/settings_pack.hpp>

#include "swarm/swarm_options.h"

namespace quorvane::swarm {

lt::settings_pack settingsPackFor(const PeerSettings& settings);

// Which peers fall under the upload cap: all of them, or (by default) all but those on the LAN
// and loopback, which libtorrent puts in its local class.
lt::ip_filter peerClassFilterFor(const PeerSettings& settings);

}  // namespace quorvane::swarm
