#include "swarm/session_settings.h"

#include <libtorrent/alert.hpp>
#include <libtorrent/session_handle.hpp>

#include <algorithm>
#include <limits>

namespace quorvane::swarm {
namespace {

int clampedRate(std::int64_t bytesPerSecond) {
    return static_cast<int>(
        std::clamp<std::int64_t>(bytesPerSecond, 0, std::numeric_limits<int>::max()));
}

}  // namespace

lt::settings_pack settingsPackFor(const PeerSettings& settings) {
    lt::settings_pack pack;
    pack.set_int(lt::settings_pack::alert_mask,
                 lt::alert_category::error | lt::alert_category::status |
                     lt::alert_category::storage | lt::alert_category::file_progress |
                     lt::alert_category::block_progress);
    pack.set_str(lt::settings_pack::user_agent, "Quorvane downloader");
    // Players find each other through the operator's tracker and on the LAN, nowhere else; the
    // router is left as it is.
    pack.set_bool(lt::settings_pack::enable_dht, false);
    pack.set_bool(lt::settings_pack::enable_upnp, false);
    pack.set_bool(lt::settings_pack::enable_natpmp, false);
    pack.set_bool(lt::settings_pack::enable_lsd, settings.peers && settings.localDiscovery);
    // The players of an internet café share one address to the outside.
    pack.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, true);
    pack.set_int(lt::settings_pack::upload_rate_limit, clampedRate(settings.uploadLimit));
    // A web seed that fails or closes its connection is tried again soon: it is the operator's
    // own server, and servers close kept-alive connections after some requests.
    pack.set_int(lt::settings_pack::urlseed_wait_retry, 1);
    pack.set_int(lt::settings_pack::urlseed_max_request_bytes, 512 * 1024);
    pack.set_bool(lt::settings_pack::validate_https_trackers, true);
    // No socket yet: the session's first job opens it, once. (Opened here and closed again
    // before the first job came, it came back on another port, and a player whose first
    // announce named the old one could stay without peers for the whole download.)
    pack.set_str(lt::settings_pack::listen_interfaces, "");
    if (settings.peers) {
        // Players starting together are about to be connected: short from the start.
        pack.set_int(lt::settings_pack::max_out_request_queue, webSeedQueueFor(true));
        // Peers over TCP only: libtorrent's uTP reached 1 to 2 MiB/s a connection between
        // players on one machine, too slow to take the load off the server, and what goes out
        // to the internet is capped anyway.
        pack.set_bool(lt::settings_pack::enable_outgoing_utp, false);
        pack.set_bool(lt::settings_pack::enable_incoming_utp, false);
    } else {
        // Nobody to upload to.
        pack.set_int(lt::settings_pack::connections_limit, 8);
    }
    return pack;
}

int webSeedQueueFor(bool playersAround) {
    // With libtorrent's 500 blocks (8 MiB) every player of a swarm asked the server for what the
    // others were about to offer, and the server sent the file 2 to 3 times over; 32 blocks
    // (512 KiB) would hold one connection to 5 MiB/s on a path of 100 ms. Peers are not held
    // back by it: each tells how many requests it takes.
    return playersAround ? 32 : 500;
}

lt::ip_filter peerClassFilterFor(const PeerSettings& settings) {
    lt::ip_filter filter;
    const auto global = 1u << static_cast<std::uint32_t>(lt::session_handle::global_peer_class_id);
    const auto local = 1u << static_cast<std::uint32_t>(lt::session_handle::local_peer_class_id);
    filter.add_rule(lt::make_address("0.0.0.0"), lt::make_address("255.255.255.255"), global);
    filter.add_rule(lt::make_address("::"),
                    lt::make_address("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"), global);
    if (!settings.lanUnlimited) return filter;
    for (auto [first, last] : {std::pair{"10.0.0.0", "10.255.255.255"},
                               {"172.16.0.0", "172.31.255.255"},
                               {"192.168.0.0", "192.168.255.255"},
                               {"169.254.0.0", "169.254.255.255"},
                               {"127.0.0.0", "127.255.255.255"}}) {
        filter.add_rule(lt::make_address(first), lt::make_address(last), local);
    }
    filter.add_rule(lt::make_address("fe80::"),
                    lt::make_address("febf:ffff:ffff:ffff:ffff:ffff:ffff:ffff"), local);
    filter.add_rule(lt::make_address("::1"), lt::make_address("::1"), local);
    return filter;
}

}  // namespace quorvane::swarm
