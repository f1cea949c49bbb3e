// Owning pointers for FFmpeg handles, so that no error path leaks or double-frees one.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>

template <typename T, void (*Free)(T **)> struct AvDoubleDeleter {
    void operator()(T *p) const { Free(&p); }
};

template <typename T, void (*Free)(T *)> struct AvSingleDeleter {
    void operator()(T *p) const { Free(p); }
};

using AVFramePtr = std::unique_ptr<AVFrame, AvDoubleDeleter<AVFrame, av_frame_free>>;
using AVPacketPtr = std::unique_ptr<AVPacket, AvDoubleDeleter<AVPacket, av_packet_free>>;
using AVCodecContextPtr =
    std::unique_ptr<AVCodecContext, AvDoubleDeleter<AVCodecContext, avcodec_free_context>>;
using AVFormatContextPtr =
    std::unique_ptr<AVFormatContext, AvDoubleDeleter<AVFormatContext, avformat_close_input>>;
using SwsContextPtr = std::unique_ptr<SwsContext, AvSingleDeleter<SwsContext, sws_freeContext>>;
using SwrContextPtr = std::unique_ptr<SwrContext, AvDoubleDeleter<SwrContext, swr_free>>;

inline AVFramePtr MakeAvFrame()
{
    return AVFramePtr(av_frame_alloc());
}
inline AVPacketPtr MakeAvPacket()
{
    return AVPacketPtr(av_packet_alloc());
}
