#include "stream/osc_bundle.h"

#include <lo/lo.h>

#include <cmath>
#include <memory>
#include <string>

#include "measure/csv_file.h"

namespace {

struct BundleFree {
    void operator()(lo_bundle b) const { lo_bundle_free_recursive(b); }
};
using Bundle = std::unique_ptr<std::remove_pointer_t<lo_bundle>, BundleFree>;

constexpr char kFramePath[] = "/velmora/frame";
constexpr char kNodePath[] = "/velmora/node";
constexpr char kWorldPath[] = "/velmora/node/world";
constexpr char kRecordPath[] = "/velmora/record";

// "#bundle", then the timetag.
constexpr size_t kBundleHeaderBytes = 16;
// Each element is preceded by its size.
constexpr size_t kElementSizeBytes = 4;

// A bundle being filled, with the size it will serialise to.
struct Filling {
    Bundle bundle{lo_bundle_new(LO_TT_IMMEDIATE)};
    size_t bytes = kBundleHeaderBytes;

    void add(const char* path, lo_message m) {
        bytes += kElementSizeBytes + lo_message_length(m, path);
        lo_bundle_add_message(bundle.get(), path, m);
    }
};

void serialise(lo_bundle b, Datagram& out) {
    size_t size = lo_bundle_length(b);
    out.resize(size);
    lo_bundle_serialise(b, out.data(), &size);
    out.resize(size);
}

lo_message frame_message(const FrameMeasure& frame) {
    lo_message m = lo_message_new();
    lo_message_add_int32(m, static_cast<int32_t>(frame.frame));
    lo_message_add_double(m, frame.time_ms / 1000.0);
    return m;
}

lo_message node_message(int32_t index, const NodeMeasure& node) {
    const PlanePoint p = streamed_position(node);
    lo_message m = lo_message_new();
    lo_message_add_int32(m, index);
    lo_message_add_float(m, static_cast<float>(p.x));
    lo_message_add_float(m, static_cast<float>(p.y));
    lo_message_add_float(m, static_cast<float>(node.angle_deg));
    lo_message_add_string(m, std::string(state_name(node.state)).c_str());
    return m;
}

// Null for a node the calibration does not place.
lo_message world_message(int32_t index, const NodeMeasure& node) {
    if (!std::isfinite(node.world_x) || !std::isfinite(node.world_y)) return nullptr;
    lo_message m = lo_message_new();
    lo_message_add_int32(m, index);
    lo_message_add_float(m, static_cast<float>(node.world_x));
    lo_message_add_float(m, static_cast<float>(node.world_y));
    return m;
}

}  // namespace

PlanePoint streamed_position(const NodeMeasure& node) {
    if (std::isnan(node.u) || std::isnan(node.v)) return {node.x, node.y};
    return {node.u, node.v};
}

size_t frame_bundles(const FrameMeasure& frame, std::vector<Datagram>& out, size_t limit) {
    size_t made = 0;
    auto open = [&] {
        Filling f;
        f.add(kFramePath, frame_message(frame));
        return f;
    };
    auto close = [&](Filling& f) {
        if (out.size() <= made) out.resize(made + 1);
        serialise(f.bundle.get(), out[made++]);
    };
    Filling filling = open();
    const size_t empty = filling.bytes;
    for (size_t n = 0; n < frame.nodes.size(); ++n) {
        const int32_t index = static_cast<int32_t>(n);
        lo_message node = node_message(index, frame.nodes[n]);
        lo_message world = world_message(index, frame.nodes[n]);
        const size_t bytes = kElementSizeBytes + lo_message_length(node, kNodePath) +
                             (world != nullptr ? kElementSizeBytes + lo_message_length(world, kWorldPath) : 0);
        // A node and its world position stay in one bundle.
        if (filling.bytes > empty && filling.bytes + bytes > limit) {
            close(filling);
            filling = open();
        }
        filling.add(kNodePath, node);
        if (world != nullptr) filling.add(kWorldPath, world);
    }
    close(filling);
    return made;
}

void take_edge_bundle(TakeEdge edge, int64_t frame, Datagram& out) {
    const Bundle bundle{lo_bundle_new(LO_TT_IMMEDIATE)};
    lo_message m = lo_message_new();
    lo_message_add_string(m, edge == TakeEdge::start ? "start" : "stop");
    lo_message_add_int32(m, static_cast<int32_t>(frame));
    lo_bundle_add_message(bundle.get(), kRecordPath, m);
    serialise(bundle.get(), out);
}
