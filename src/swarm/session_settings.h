#pragma once

// The one settings_pack of the session, made from the program's manners among peers.

#include <libtorrent/ip_filter.hpp>
#include <libtorrent/settings_pack.hpp>

#include "swarm/swarm_options.h"

namespace quorvane::swarm {

lt::settings_pack settingsPackFor(const PeerSettings& settings);

// How many blocks a web seed connection may have asked for and not yet received. Long while no
// player is connected, so that one connection fills a long path; short once players are, so
// that the server is not asked for what they are about to offer (an HTTP request cannot be
// taken back, and nothing it asks for is fetched from peers meanwhile).
int webSeedQueueFor(bool playersAround);

// Which peers fall under the upload cap: all of them, or (by default) all but those on the LAN
// and loopback, which libtorrent puts in its local class.
lt::ip_filter peerClassFilterFor(const PeerSettings& settings);

}  // namespace quorvane::swarm
