#pragma once
// Inside the video room: the two kinds of decoder behind VideoDecoder, and
// what they share.

#include <memory>
#include <string>

#include "video/video_decoder.h"

// Registers the devices and routes FFmpeg's log to the decoders, once.
void init_ffmpeg();
std::string av_error_text(int code);
std::string fixed_text(double value, int decimals);
// The first damage an FFmpeg context owned by a decoder reports in its log.
void note_library_damage(void* owner, const std::string& what);

// A container (file, device) read through libavformat.
std::unique_ptr<VideoDecoder> open_stream_decoder(const SourceName& name, const std::string& text,
                                                  const SourceOptions& options, std::string& error,
                                                  Teller tell);
// A folder or printf pattern of pictures, one file each.
std::unique_ptr<VideoDecoder> open_sequence_decoder(const SourceName& name, const std::string& text,
                                                    const SourceOptions& options, std::string& error,
                                                    Teller tell);
