#pragma once
// The stream's OSC address space, as the bytes of UDP datagrams. Every
// analysed frame is one bundle with an immediate timetag:
//
//   /velmora/frame       i frame number, d seconds since the source started
//   /velmora/node        i node index, f x, f y, f bend angle in degrees (NaN
//                        where undefined), s state ("tracked", "held",
//                        "placed", "predicted"; "" when tracking said nothing)
//   /velmora/node/world  i node index, f X, f Y in the calibrated unit; only
//                        for nodes the calibration places
//
// one /velmora/node per node, in index order, each followed by its
// /velmora/node/world when there is one. x and y are the node in the source's
// own pixels (its sub-pixel centre where it has one, else its position), or
// in frame coordinates when the source's geometry is not known. A frame whose
// bundle would not fit one datagram is sent as several bundles, each
// beginning with the same /velmora/frame.
//
// A take's edges go in a bundle of their own, between the frames:
//
//   /velmora/record      s "start" or "stop", i frame number (the first or
//                        the last frame of the take)
//
// Every number comes from the frame's measurements as measure_frame made
// them; nothing here computes one.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "measure/frame_measure.h"
#include "measure/frame_sink.h"

using Datagram = std::vector<char>;

// The largest datagram the stream sends: an IPv4 UDP payload.
inline constexpr size_t kMaxDatagramBytes = 65507;

// The bundles of one frame, each at most `limit` bytes (a bundle holds at
// least its /velmora/frame and one node, whatever the limit), into the first
// elements of `out`, whose storage is kept from frame to frame. Returns how
// many were made: 1 unless the frame is too large for one.
size_t frame_bundles(const FrameMeasure& frame, std::vector<Datagram>& out, size_t limit = kMaxDatagramBytes);

// The bundle of one take edge.
void take_edge_bundle(TakeEdge edge, int64_t frame, Datagram& out);

// The x and y a node is streamed with: the source pixels where measure_frame
// knew the source's geometry, else the frame position its numbers were taken at.
PlanePoint streamed_position(const NodeMeasure& node);
