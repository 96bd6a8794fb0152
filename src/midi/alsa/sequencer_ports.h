// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <alsa/asoundlib.h>

namespace tonalyx::midi {

// Calls `visit(client, port)` with the information of every port of the sequencer, in the
// sequencer's order: clients, then their ports, by number.
template <typename Visit> void forEachSequencerPort(snd_seq_t* seq, Visit&& visit)
{
    snd_seq_client_info_t* client = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_t* port = nullptr;
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq, client) >= 0) {
        snd_seq_port_info_set_client(port, snd_seq_client_info_get_client(client));
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(seq, port) >= 0)
            visit(client, port);
    }
}

} // namespace tonalyx::midi
