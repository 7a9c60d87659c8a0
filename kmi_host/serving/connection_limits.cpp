// How many connections the server holds, and each client address: the counts kept by the
// connections' slots, and the room a newcomer is given by closing the oldest connection of its
// own address or, when the server is full, of the address that holds the most.
#include <algorithm>

#include "kmi_host/serving/server_parts.h"

namespace kmi::emu {

ConnectionSlot::ConnectionSlot(ConnectionTally& counts, std::string client)
    : tally(&counts), address(std::move(client)), order(counts.next_order++) {
    ++tally->by_address[address].requests;
    ++tally->all.requests;
}

ConnectionSlot::ConnectionSlot(ConnectionSlot&& other) noexcept
    : tally(std::exchange(other.tally, nullptr)),
      address(std::move(other.address)),
      stream(other.stream),
      order(other.order) {}

void ConnectionSlot::become_stream() {
    if (tally == nullptr || stream) return;
    ClientCounts& mine = tally->by_address.find(address)->second;
    --mine.requests;
    --tally->all.requests;
    ++mine.streams;
    ++tally->all.streams;
    stream = true;
    order = tally->next_order++;
}

void ConnectionSlot::release() noexcept {
    if (tally == nullptr) return;
    const auto mine = tally->by_address.find(address);
    std::size_t ClientCounts::*const kind = stream ? &ClientCounts::streams : &ClientCounts::requests;
    --(mine->second.*kind);
    --(tally->all.*kind);
    if (mine->second.requests == 0 && mine->second.streams == 0) tally->by_address.erase(mine);
    tally = nullptr;
}

std::string client_key(const asio::ip::address& address) {
    if (address.is_v4()) return address.to_string();
    const asio::ip::address_v6 v6 = address.to_v6();
    if (v6.is_v4_mapped()) return asio::ip::make_address_v4(asio::ip::v4_mapped, v6).to_string();
    asio::ip::address_v6::bytes_type bytes = v6.to_bytes();
    std::fill(bytes.begin() + 8, bytes.end(), static_cast<unsigned char>(0));
    return asio::ip::address_v6(bytes).to_string() + "/64";
}

namespace {

// The address that holds the most connections of the kind.
std::string busiest(const ConnectionTally& tally, std::size_t ClientCounts::*kind) {
    std::string most;
    std::size_t held = 0;
    for (const auto& [address, counts] : tally.by_address) {
        if (counts.*kind > held) {
            most = address;
            held = counts.*kind;
        }
    }
    return most;
}

std::size_t held_by(const ConnectionTally& tally, const std::string& client, std::size_t ClientCounts::*kind) {
    const auto counts = tally.by_address.find(client);
    return counts == tally.by_address.end() ? 0 : counts->second.*kind;
}

// The oldest HTTP connection of the client closed, whatever it is doing: waiting for a request
// (a slow one, mostly), or answering one.
bool close_oldest_request(PageServer& server, const std::string& client) {
    for (const std::weak_ptr<Connection>& held : server.requests) {
        const std::shared_ptr<Connection> connection = held.lock();
        if (!connection || connection->slot.tally == nullptr || connection->slot.address != client) continue;
        connection->slot.release();
        connection->stream.close();
        return true;
    }
    return false;
}

bool drop_oldest_stream(PageServer& server, const std::string& client) {
    const auto oldest = std::find_if(server.clients.begin(), server.clients.end(),
                                     [&client](const auto& held) { return held->slot.address == client; });
    if (oldest == server.clients.end()) return false;
    const std::shared_ptr<EventClient> dropped = *oldest;
    drop_client(server, dropped);
    return true;
}

}  // namespace

bool make_room_for_request(PageServer& server, const std::string& client) {
    std::erase_if(server.requests, [](const std::weak_ptr<Connection>& held) {
        const std::shared_ptr<Connection> connection = held.lock();
        return !connection || connection->slot.tally == nullptr || connection->slot.stream;
    });
    const PageServerSettings& settings = server.settings;
    if (held_by(server.tally, client, &ClientCounts::requests) >= settings.requests_per_address)
        return close_oldest_request(server, client);
    if (server.tally.all.requests >= settings.max_requests)
        return close_oldest_request(server, busiest(server.tally, &ClientCounts::requests));
    return true;
}

bool make_room_for_stream(PageServer& server, const std::string& client) {
    const PageServerSettings& settings = server.settings;
    if (held_by(server.tally, client, &ClientCounts::streams) >= settings.streams_per_address)
        return drop_oldest_stream(server, client);
    if (server.tally.all.streams >= settings.max_streams)
        return drop_oldest_stream(server, busiest(server.tally, &ClientCounts::streams));
    return true;
}

}  // namespace kmi::emu
