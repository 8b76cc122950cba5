#!/usr/bin/python3
"""A peer that lies: seeds FILE's torrent from a correct copy in FOLDER, then spoils one byte of
every piece on disk, so that what it sends no longer matches the hashes. Announces to the
torrent's tracker from 127.0.0.1 and writes "uploaded-bytes connections dropped-connections" to
STATUS every 50 ms, "ready" on its first line once it is spoiled and announced.
  usage: bad_peer.py TORRENT FOLDER STATUS"""
import os, sys, time
import libtorrent as lt

torrent, folder, status = sys.argv[1], sys.argv[2], sys.argv[3]
session = lt.session({"listen_interfaces": "127.0.0.1:0", "enable_dht": False,
                      "enable_lsd": False, "enable_upnp": False, "enable_natpmp": False,
                      "enable_outgoing_utp": False, "enable_incoming_utp": False,
                      "allow_multiple_connections_per_ip": True,
                      "alert_mask": lt.alert_category.connect})
info = lt.torrent_info(torrent)
handle = session.add_torrent({"ti": info, "save_path": folder})
while not handle.status().is_seeding:
    time.sleep(0.05)
path = os.path.join(folder, info.files().file_path(0))
with open(path, "r+b") as f:
    for piece in range(info.num_pieces()):
        at = piece * info.piece_length() + min(100, info.piece_size(piece) - 1)
        f.seek(at)
        byte = f.read(1)
        f.seek(at)
        f.write(bytes([byte[0] ^ 0xFF]))
    f.flush()
    os.fsync(f.fileno())
handle.force_reannounce()
while not handle.status().current_tracker:
    time.sleep(0.05)
dropped = 0
while True:
    dropped += sum(isinstance(a, lt.peer_disconnected_alert) for a in session.pop_alerts())
    s = handle.status()
    with open(status + ".new", "w") as out:
        out.write(f"ready\n{s.total_payload_upload} {s.num_peers} {dropped}\n")
    os.replace(status + ".new", status)
    time.sleep(0.05)
