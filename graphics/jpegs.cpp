// The JPEG codec. libjpeg is C: its error exit must not return, and no C++ exception may pass
// through its frames. So every call into libjpeg runs inside TCodec::Run, which sets a jump
// point; the error exit formats libjpeg's message and jumps back there, skipping only libjpeg's
// frames and the step's own (which hold nothing that needs destroying), and Run raises the
// message as EInvalidGraphic once it is back in C++ land.
#include "graphics/jpegs.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace {

// More scans than any encoder writes: a file that keeps starting new scans over a large picture
// would otherwise decode the picture again for each of them.
constexpr int kMaxScans = 1000;
constexpr size_t kOutputBlock = 65536;

// libjpeg's error manager, the way back to the running step, and the text of the error.
struct TJpegErrors {
    jpeg_error_mgr Manager;  // first member: libjpeg hands its address to the handlers
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
    // Entropy data that ends before the picture does is damage rather than a picture to pad.
    bool RefuseEarlyEnd = false;
};

[[noreturn]] void Abandon(j_common_ptr Info, const char* Message) {
    auto* errors = reinterpret_cast<TJpegErrors*>(Info->err);
    std::snprintf(errors->Message, sizeof errors->Message, "%s", Message);
    std::longjmp(errors->Jump, 1);
}

[[noreturn]] void ErrorExit(j_common_ptr Info) {
    char message[JMSG_LENGTH_MAX];
    Info->err->format_message(Info, message);
    Abandon(Info, message);
}

// Warnings are counted and otherwise ignored (libjpeg pads damaged entropy data), except an early
// end of the entropy data where RefuseEarlyEnd says so; nothing is printed.
void EmitMessage(j_common_ptr Info, int Level) {
    if (Level >= 0) return;
    if (Info->err->msg_code == JWRN_HIT_MARKER && reinterpret_cast<TJpegErrors*>(Info->err)->RefuseEarlyEnd)
        ErrorExit(Info);
    ++Info->err->num_warnings;
}

void LimitScans(j_common_ptr Info) {
    if (reinterpret_cast<j_decompress_ptr>(Info)->input_scan_number > kMaxScans)
        Abandon(Info, "JPEG file with too many scans");
}

// A compressor or decompressor with the error handling above, destroyed with everything libjpeg
// allocated for it. The memory libjpeg may take for itself (the coefficients of a progressive
// picture) is bounded like the pixels of any image.
template <class TInfo>
class TCodec {
public:
    TJpegErrors Errors;
    TInfo Info{};

    TCodec() {
        jpeg_std_error(&Errors.Manager);
        Errors.Manager.error_exit = ErrorExit;
        Errors.Manager.emit_message = EmitMessage;
        Info.err = &Errors.Manager;
    }
    ~TCodec() { jpeg_destroy(reinterpret_cast<j_common_ptr>(&Info)); }
    TCodec(const TCodec&) = delete;
    TCodec& operator=(const TCodec&) = delete;

    // Runs Step, a function of plain libjpeg calls and plain data: a libjpeg error leaves it by
    // the jump back here and is raised.
    template <class F>
    void Run(const F& Step) {
        if (setjmp(Errors.Jump) == 0) {
            Step();
            return;
        }
        throw EInvalidGraphic(Errors.Message);
    }

    void LimitMemory() { Info.mem->max_memory_to_use = kMaxImageBytes; }
};

// The source: the whole file is in memory from the start, so a request for more means that the
// file ended too early.
void InitSource(j_decompress_ptr) {}
boolean FillInputBuffer(j_decompress_ptr Info) {
    ERREXIT(Info, JERR_INPUT_EOF);
    return FALSE;
}
void SkipInputData(j_decompress_ptr Info, long Count) {
    if (Count <= 0) return;
    if (static_cast<unsigned long>(Count) > Info->src->bytes_in_buffer) ERREXIT(Info, JERR_INPUT_EOF);
    Info->src->next_input_byte += Count;
    Info->src->bytes_in_buffer -= static_cast<size_t>(Count);
}
void TermSource(j_decompress_ptr) {}

// The destination: a byte vector that grows a block at a time (client_data points to it). A
// block that cannot be had ends the encoding with libjpeg's out-of-memory error.
std::vector<uint8_t>& OutputOf(j_compress_ptr Info) { return *static_cast<std::vector<uint8_t>*>(Info->client_data); }
bool GrowOutput(std::vector<uint8_t>& Bytes) noexcept {
    try {
        Bytes.resize(Bytes.size() + kOutputBlock);
        return true;
    } catch (...) {
        return false;
    }
}
boolean EmptyOutputBuffer(j_compress_ptr Info) {
    std::vector<uint8_t>& bytes = OutputOf(Info);
    const size_t used = bytes.size();
    if (!GrowOutput(bytes)) ERREXIT1(Info, JERR_OUT_OF_MEMORY, 0);
    Info->dest->next_output_byte = bytes.data() + used;
    Info->dest->free_in_buffer = kOutputBlock;
    return TRUE;
}
void InitDestination(j_compress_ptr Info) {
    OutputOf(Info).clear();
    EmptyOutputBuffer(Info);
}
void TermDestination(j_compress_ptr Info) { OutputOf(Info).resize(OutputOf(Info).size() - Info->dest->free_in_buffer); }

}  // namespace

void TJPEGImage::LoadFromBuffer(const void* Data, size_t Size,
                                const std::function<void(int32_t Width, int32_t Height)>& CheckSize) {
    jpeg_source_mgr source{};
    source.init_source = InitSource;
    source.fill_input_buffer = FillInputBuffer;
    source.skip_input_data = SkipInputData;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = TermSource;
    source.next_input_byte = static_cast<const JOCTET*>(Data);
    source.bytes_in_buffer = Size;

    TCodec<jpeg_decompress_struct> codec;
    jpeg_decompress_struct& info = codec.Info;
    codec.Run([&] {
        jpeg_create_decompress(&info);
        info.src = &source;
        jpeg_read_header(&info, TRUE);
        // Grey pictures decode to one channel and are widened below.
        info.out_color_space = info.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_RGB;
    });
    codec.LimitMemory();
    CheckImageSize(info.image_width, info.image_height, 24);
    // A file far too small for its picture that also ends its entropy data early would be padded
    // into a large picture of nothing (at the cost of decoding all of it): it is damaged.
    codec.Errors.RefuseEarlyEnd = !TImageBudget(int64_t(Size)).Take(info.image_width, info.image_height, 24);
    if (CheckSize) CheckSize(int32_t(info.image_width), int32_t(info.image_height));

    TDIB image;
    image.SetSize(static_cast<int32_t>(info.image_width), static_cast<int32_t>(info.image_height), 24);
    uint8_t* const top = image.TopPBits();
    const int32_t nextLine = image.NextLine();
    jpeg_progress_mgr progress{};
    progress.progress_monitor = LimitScans;
    codec.Run([&] {
        info.progress = &progress;
        jpeg_start_decompress(&info);
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = top + static_cast<ptrdiff_t>(nextLine) * info.output_scanline;
            jpeg_read_scanlines(&info, &row, 1);
        }
        // Whatever follows the last scan (the end marker included) is not needed.
    });

    const bool grey = info.out_color_space == JCS_GRAYSCALE;
    for (int32_t y = 0; y < image.Height(); ++y) {
        uint8_t* row = top + static_cast<ptrdiff_t>(nextLine) * y;
        if (grey) {
            for (int32_t x = image.Width() - 1; x >= 0; --x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = row[x];
        } else {
            for (int32_t x = 0; x < image.Width(); ++x) std::swap(row[3 * x], row[3 * x + 2]);
        }
    }
    Bitmap.Assign(&image);
}

void TJPEGImage::LoadFromStream(TStream& Stream) {
    std::vector<uint8_t> data(static_cast<size_t>(std::max<int64_t>(0, Stream.Size() - Stream.Position())));
    Stream.ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
    LoadFromBuffer(data.data(), data.size());
}

void TJPEGImage::SaveToStream(TStream& Stream, int32_t Quality) const {
    TDIB image;
    image.Assign(&Bitmap);
    if (!image.Empty() && image.BitCount() != 24) image.SetBitCount(24);
    const uint8_t* const top = image.TopPBitsReadOnly();
    const int32_t nextLine = image.NextLine();
    std::vector<uint8_t> output;
    jpeg_destination_mgr destination{};
    destination.init_destination = InitDestination;
    destination.empty_output_buffer = EmptyOutputBuffer;
    destination.term_destination = TermDestination;
    std::vector<uint8_t> rgb(static_cast<size_t>(image.Width()) * 3);

    TCodec<jpeg_compress_struct> codec;
    jpeg_compress_struct& info = codec.Info;
    codec.Run([&] {
        jpeg_create_compress(&info);
        info.client_data = &output;
        info.dest = &destination;
        info.image_width = static_cast<JDIMENSION>(image.Width());
        info.image_height = static_cast<JDIMENSION>(image.Height());
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, std::clamp(Quality, 1, 100), TRUE);
        jpeg_start_compress(&info, TRUE);
        while (info.next_scanline < info.image_height) {
            const uint8_t* bgr = top + static_cast<ptrdiff_t>(nextLine) * info.next_scanline;
            for (size_t i = 0; i < rgb.size(); i += 3) {
                rgb[i] = bgr[i + 2];
                rgb[i + 1] = bgr[i + 1];
                rgb[i + 2] = bgr[i];
            }
            JSAMPROW row = rgb.data();
            jpeg_write_scanlines(&info, &row, 1);
        }
        jpeg_finish_compress(&info);
    });
    Stream.WriteBuffer(output.data(), static_cast<int64_t>(output.size()));
}
