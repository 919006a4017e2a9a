// glintara-render's video formats as a player sees them: codecs, sizes, frame counts and
// exact rates read back with FFmpeg's own tools, the pictures held against still renders,
// the sound kept in step, a still turned into a loop, and a full disk.
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <sys/mount.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <sstream>

#include "tests/support/pictures.hpp"
#include "tests/support/render_tool.hpp"
#include "tests/support/subprocess.hpp"

namespace glintara {
namespace {

using namespace testing_support;
using namespace std::chrono_literals;

// Makes a clip with FFmpeg's own generators; the arguments come before the output name.
void makeClip(const std::string& path, std::vector<std::string> args) {
    args.insert(args.begin(), {"/usr/bin/ffmpeg", "-v", "error", "-y"});
    args.push_back(path);
    const ProcessResult made = runProcess(args, 60s);
    ASSERT_EQ(made.exitStatus, 0) << made.err;
}

// A moving, colourful picture at a rate, as FFmpeg's lavfi input.
std::vector<std::string> pictureSource(const std::string& rate, int frames, int width = 640,
                                       int height = 480) {
    return {
        "-f",
        "lavfi",
        "-i",
        "testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) + ":rate=" + rate,
        "-frames:v",
        std::to_string(frames)};
}

// key=value lines of ffprobe about one stream ("v:0", "a:0").
std::map<std::string, std::string> probeStream(const std::string& path, const std::string& stream,
                                               const std::string& entries) {
    const ProcessResult probe =
        runProcess({"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-select_streams", stream,
                    "-show_entries", "stream=" + entries, "-of", "default=nw=1", path},
                   60s);
    EXPECT_EQ(probe.exitStatus, 0) << probe.err;
    std::map<std::string, std::string> facts;
    for (const std::string& line : linesOf(probe.out)) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            facts[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return facts;
}

int streamCount(const std::string& path, const std::string& type) {
    const ProcessResult probe =
        runProcess({"/usr/bin/ffprobe", "-v", "error", "-select_streams", type, "-show_entries",
                    "stream=index", "-of", "csv=p=0", path});
    return static_cast<int>(linesOf(probe.out).size());
}

// When a stream's packets start and where its last one ends, in seconds. A packet without
// a duration (the MP4 reader gives none for H.264) lasts `packetLength`.
struct StreamSpan {
    double start = 1e9;
    double end = 0.0;
};

StreamSpan streamSpan(const std::string& path, const std::string& stream,
                      double packetLength = 0.0) {
    const ProcessResult probe =
        runProcess({"/usr/bin/ffprobe", "-v", "error", "-select_streams", stream, "-show_entries",
                    "packet=pts_time,duration_time", "-of", "csv=p=0", path});
    StreamSpan span;
    // Lines are "pts,duration", some followed by side data or left blank.
    for (const std::string& line : linesOf(probe.out)) {
        char* rest = nullptr;
        const double start = std::strtod(line.c_str(), &rest);
        if (rest == line.c_str() || *rest != ',') {
            continue;
        }
        char* after = nullptr;
        double duration = std::strtod(rest + 1, &after);
        if (after == rest + 1) {
            duration = packetLength;  // N/A
        }
        span.start = std::min(span.start, start);
        span.end = std::max(span.end, start + duration);
    }
    return span;
}

// The size and checksum of every packet of the first audio stream.
std::vector<std::string> audioPackets(const std::string& path) {
    const ProcessResult sums = runProcess({"/usr/bin/ffmpeg", "-v", "error", "-i", path, "-map",
                                           "0:a:0", "-c", "copy", "-f", "framemd5", "-"});
    EXPECT_EQ(sums.exitStatus, 0) << sums.err;
    std::vector<std::string> packets;
    for (const std::string& line : linesOf(sums.out)) {
        if (!line.empty() && line[0] != '#') {
            const std::size_t sizeField = line.rfind(',', line.rfind(',') - 1);
            packets.push_back(line.substr(sizeField + 1));  // "size, md5"
        }
    }
    return packets;
}

std::vector<cv::Mat> decodeAll(const std::string& path) {
    cv::VideoCapture video(path, cv::CAP_FFMPEG);
    std::vector<cv::Mat> frames;
    for (cv::Mat frame; video.read(frame);) {
        frames.push_back(frame.clone());
    }
    return frames;
}

// PSNR of the brightness alone, as video quality is measured: the colour planes of a 4:2:0
// video hold a quarter of the pixels by design (on the fruits render, 4:2:0 with no other
// loss already costs 34.6 dB in RGB), and it is the encoder's own loss that is tested here.
double lumaPsnr(const cv::Mat& a, const cv::Mat& b) {
    cv::Mat ya, yb;
    cv::cvtColor(a, ya, cv::COLOR_BGR2GRAY);
    cv::cvtColor(b, yb, cv::COLOR_BGR2GRAY);
    return cv::PSNR(ya, yb);
}

struct VideoFormat {
    const char* extension;
    const char* codec;
    const char* rate;  // as the input states it, and the output must keep it
    double leastPsnr;
};

void PrintTo(const VideoFormat& format, std::ostream* out) {
    *out << format.extension << " " << format.codec << " at " << format.rate;
}

class VideoFormatRoundTrip : public testing::TestWithParam<VideoFormat> {};

TEST_P(VideoFormatRoundTrip, KeepsCodecSizeFrameCountExactRateAndThePicture) {
    const VideoFormat format = GetParam();
    ScratchFolder folder;
    makeClip(folder.path("in.avi"), [&] {
        auto args = pictureSource(format.rate, 10);
        args.insert(args.end(), {"-c:v", "mjpeg", "-q:v", "2"});
        return args;
    }());
    const std::string out = folder.path(std::string("out") + format.extension);
    const auto result = runRenderTool({"--angle", "100", folder.path("in.avi"), out});
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    auto facts = probeStream(out, "v:0", "codec_name,width,height,r_frame_rate,nb_read_frames");
    EXPECT_EQ(facts["codec_name"], format.codec);
    EXPECT_EQ(facts["width"], "640");
    EXPECT_EQ(facts["height"], "640");
    EXPECT_EQ(facts["r_frame_rate"], format.rate);
    EXPECT_EQ(facts["nb_read_frames"], "10");

    const std::vector<cv::Mat> input = decodeAll(folder.path("in.avi"));
    const std::vector<cv::Mat> output = decodeAll(out);
    ASSERT_EQ(input.size(), 10u);
    ASSERT_EQ(output.size(), 10u);
    for (const int k : {0, 1, 9}) {
        const double psnr = lumaPsnr(output[k], renderOf(input[k], 100 + k));
        EXPECT_GT(psnr, format.leastPsnr) << "frame " << k;
        // The frame is the right one: the next angle's render is further away.
        EXPECT_GT(psnr, lumaPsnr(output[k], renderOf(input[k], 101 + k)) + 3.0) << "frame " << k;
        RecordProperty(std::string("psnr") + std::to_string(k), std::to_string(psnr));
    }
}

INSTANTIATE_TEST_SUITE_P(Extensions, VideoFormatRoundTrip,
                         testing::Values(VideoFormat{".mp4", "h264", "30000/1001", 35.0},
                                         VideoFormat{".m4v", "h264", "25/2", 35.0},
                                         VideoFormat{".mov", "h264", "25/2", 35.0},
                                         VideoFormat{".mkv", "h264", "30000/1001", 35.0},
                                         VideoFormat{".webm", "vp9", "25/2", 35.0},
                                         VideoFormat{".avi", "mjpeg", "30000/1001", 30.0}),
                         [](const testing::TestParamInfo<VideoFormat>& info) {
                             return std::string(info.param.extension + 1);
                         });

// A clip's sound, its container and the audio codec it must come out with.
struct SoundCase {
    const char* input;       // file name, by whose extension FFmpeg picks the container
    const char* inputAudio;  // encoder of the input's sound
    const char* output;
    const char* outputAudio;  // codec of the output's sound
    bool copied;
};

void PrintTo(const SoundCase& sound, std::ostream* out) {
    *out << sound.input << " (" << sound.inputAudio << ") to " << sound.output << " ("
         << sound.outputAudio << (sound.copied ? ", copied)" : ", re-encoded)");
}

class SoundKept : public testing::TestWithParam<SoundCase> {};

TEST_P(SoundKept, LastsAsLongAsThePictureAndCopiesPacketsUnchanged) {
    const SoundCase sound = GetParam();
    ScratchFolder folder;
    const std::string in = folder.path(sound.input);
    makeClip(in, {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-f", "lavfi", "-i",
                  "sine=frequency=440:sample_rate=48000", "-t", "2", "-c:v", "mjpeg", "-c:a",
                  sound.inputAudio});
    const std::string out = folder.path(sound.output);
    const auto result = runRenderTool({in, out});
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    EXPECT_EQ(probeStream(out, "a:0", "codec_name")["codec_name"], sound.outputAudio);
    const double frame = 1.0 / 25.0;
    EXPECT_NEAR(streamSpan(out, "a:0").end, streamSpan(out, "v:0", frame).end, frame);
    if (sound.copied) {
        EXPECT_EQ(audioPackets(out), audioPackets(in));
    }

    // Cut short, the sound ends with the last frame. (Containers that cannot start before 0
    // move both streams by the sound's encoder delay, so lengths are measured from the first
    // frame.)
    const std::string cut = folder.path(std::string("cut-") + sound.output);
    ASSERT_EQ(runRenderTool({"--frames", "20", in, cut}).exitStatus, 0);
    const StreamSpan video = streamSpan(cut, "v:0", frame);
    EXPECT_NEAR(video.end - video.start, 20 * frame, 0.002);
    EXPECT_NEAR(streamSpan(cut, "a:0").end, video.end, frame);
}

INSTANTIATE_TEST_SUITE_P(Containers, SoundKept,
                         testing::Values(SoundCase{"in.mp4", "aac", "out.mp4", "aac", true},
                                         SoundCase{"in.mkv", "libopus", "out.webm", "opus", true},
                                         SoundCase{"in.mp4", "aac", "out.webm", "opus", false},
                                         SoundCase{"in.mov", "pcm_s16le", "out.mp4", "aac", false},
                                         SoundCase{"in.mkv", "pcm_s16le", "out.mkv", "pcm_s16le",
                                                   true}),
                         [](const testing::TestParamInfo<SoundCase>& info) {
                             std::string name =
                                 std::string(info.param.inputAudio) + "_to_" + info.param.output;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

// The times of a stream's packets, in order of presentation, in seconds as printed.
std::vector<std::string> packetTimes(const std::string& path) {
    const ProcessResult probe =
        runProcess({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                    "packet=pts_time", "-of", "csv=p=0", path});
    std::vector<std::string> times = linesOf(probe.out);
    std::sort(times.begin(), times.end(), [](const std::string& a, const std::string& b) {
        return std::stod(a) < std::stod(b);
    });
    return times;
}

TEST(VariableFrameRate, EveryFrameKeepsItsOwnTime) {
    ScratchFolder folder;
    // Frames ever further apart: 0, 40, 120, 240, ... ms.
    makeClip(folder.path("in.mkv"),
             {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-frames:v", "8", "-vf",
              "setpts=N*(N+1)/2*0.04/TB", "-fps_mode", "vfr", "-c:v", "mjpeg"});
    const std::vector<std::string> times = packetTimes(folder.path("in.mkv"));
    ASSERT_EQ(times.size(), 8u);
    ASSERT_EQ(times[3], "0.240000");
    ASSERT_EQ(runRenderTool({folder.path("in.mkv"), folder.path("out.mkv")}).exitStatus, 0);
    EXPECT_EQ(packetTimes(folder.path("out.mkv")), times);
}

TEST(SilentVideo, GivesASilentOutput) {
    ScratchFolder folder;
    makeClip(folder.path("in.avi"), pictureSource("25", 5));
    ASSERT_EQ(runRenderTool({folder.path("in.avi"), folder.path("out.mp4")}).exitStatus, 0);
    EXPECT_EQ(streamCount(folder.path("out.mp4"), "a"), 0);
    EXPECT_EQ(streamCount(folder.path("out.mp4"), "v"), 1);
}

TEST(AnimatedPng, IsAStillPictureAsAnyPngReaderSeesIt) {
    // FFmpeg reads an animated PNG as a video of its own; it stays a still, its first picture.
    ScratchFolder folder;
    makeClip(folder.path("moving.png"), {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=5",
                                         "-frames:v", "3", "-plays", "0", "-f", "apng"});
    const auto result = runRenderTool({folder.path("moving.png"), folder.path("star.png")});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const cv::Mat first = cv::imread(folder.path("moving.png"));
    EXPECT_EQ(cv::norm(cv::imread(folder.path("star.png")), renderOf(first, 0), cv::NORM_INF), 0.0);
}

TEST(SoundInAvi, ThatAviCannotHoldIsLeftOutWithOneNote) {
    ScratchFolder folder;
    makeClip(folder.path("in.mkv"),
             {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-f", "lavfi", "-i",
              "sine=sample_rate=48000", "-t", "1", "-c:v", "mjpeg", "-c:a", "libopus"});
    const auto result = runRenderTool({folder.path("in.mkv"), folder.path("out.avi")});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const auto lines = linesOf(result.err);
    ASSERT_EQ(lines.size(), 2u) << result.err;  // the note, then the summary
    EXPECT_NE(lines[0].find("sound (opus)"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("left out"), std::string::npos) << lines[0];
    EXPECT_EQ(streamCount(folder.path("out.avi"), "a"), 0);
}

// A photo, and the angles its turn must show.
class StillTurn : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(cv::imwrite(folder_.path("photo.png"), photo_)); }
    ScratchFolder folder_;
    cv::Mat photo_ = syntheticScene();
};

TEST_F(StillTurn, ToMp4IsOneWholeTurnThatLoopsWithoutASeam) {
    const std::string out = folder_.path("turn.mp4");
    const auto result = runRenderTool(
        {"--angle", "20", "--capture", folder_.path("guide.mkv"), folder_.path("photo.png"), out});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    auto facts = probeStream(out, "v:0", "r_frame_rate,nb_read_frames");
    EXPECT_EQ(facts["r_frame_rate"], "30/1");
    EXPECT_EQ(facts["nb_read_frames"], "360");

    const std::vector<cv::Mat> frames = decodeAll(out);
    ASSERT_EQ(frames.size(), 360u);
    for (const int k : {0, 1, 359}) {
        const double psnr = lumaPsnr(frames[k], renderOf(photo_, (20 + k) % 360));
        EXPECT_GT(psnr, 35.0) << "frame " << k;
        EXPECT_GT(psnr, lumaPsnr(frames[k], renderOf(photo_, (21 + k) % 360)) + 3.0)
            << "frame " << k;
    }
    // The frame after the last would be the first again.
    EXPECT_GT(lumaPsnr(frames[359], renderOf(photo_, 19)), 35.0);

    const std::vector<cv::Mat> guides = decodeAll(folder_.path("guide.mkv"));
    ASSERT_EQ(guides.size(), 360u);
    EXPECT_GT(lumaPsnr(guides[90], renderOf(photo_, 110, true)), 35.0);
}

TEST_F(StillTurn, FpsAndFramesSetTheRateAndShortenIt) {
    const std::string out = folder_.path("short.webm");
    const auto result =
        runRenderTool({"--fps", "12.5", "--frames", "6", folder_.path("photo.png"), out});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    auto facts = probeStream(out, "v:0", "r_frame_rate,nb_read_frames");
    EXPECT_EQ(facts["r_frame_rate"], "25/2");
    EXPECT_EQ(facts["nb_read_frames"], "6");
    const StreamSpan video = streamSpan(out, "v:0", 1 / 12.5);
    EXPECT_NEAR(video.end - video.start, 6 / 12.5, 0.002);
}

TEST_F(StillTurn, FpsOnAVideoOrAStillPictureIsRefused) {
    makeClip(folder_.path("clip.avi"), pictureSource("25", 3));
    for (const auto& [input, output] :
         {std::pair{"clip.avi", "out.mp4"}, std::pair{"photo.png", "out.png"}}) {
        const auto result =
            runRenderTool({"--fps", "10", folder_.path(input), folder_.path(output)});
        EXPECT_EQ(result.exitStatus, 1) << input;
        ASSERT_EQ(linesOf(result.err).size(), 1u) << result.err;
        EXPECT_NE(result.err.find("--fps"), std::string::npos) << result.err;
    }
    EXPECT_EQ(folder_.names(), (std::vector<std::string>{"clip.avi", "photo.png"}));
}

// What the chunks of an animated RIFF WebP file say: the canvas, the loop count and each
// frame's duration in milliseconds. (FFmpeg here cannot decode animated WebP.)
struct WebpAnimation {
    int width = 0;
    int height = 0;
    int loops = -1;
    std::vector<int> durations;
};

WebpAnimation readWebpAnimation(const std::string& bytes) {
    WebpAnimation animation;
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WEBP")) {
        return animation;
    }
    const auto little = [&](std::size_t at, int count) {
        std::uint32_t value = 0;
        for (int i = count - 1; i >= 0; --i) {
            value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
        }
        return value;
    };
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string kind = bytes.substr(at, 4);
        const std::uint32_t size = little(at + 4, 4);
        if (kind == "VP8X") {
            animation.width = static_cast<int>(little(at + 8 + 4, 3)) + 1;
            animation.height = static_cast<int>(little(at + 8 + 7, 3)) + 1;
        } else if (kind == "ANMF") {
            animation.durations.push_back(static_cast<int>(little(at + 8 + 12, 3)));
        } else if (kind == "ANIM") {
            animation.loops = static_cast<int>(little(at + 8 + 4, 2));
        }
        at += 8 + size + (size & 1);
    }
    return animation;
}

TEST_F(StillTurn, ToWebpIsAnAnimationOf360FramesThatLoopsForever) {
    const std::string out = folder_.path("turn.webp");
    const auto result = runRenderTool({folder_.path("photo.png"), out});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const WebpAnimation animation = readWebpAnimation(readFile(out));
    EXPECT_EQ(animation.width, 640);
    EXPECT_EQ(animation.height, 640);
    EXPECT_EQ(animation.loops, 0);  // 0: for ever
    ASSERT_EQ(animation.durations.size(), 360u);
    // 30 frames a second in whole milliseconds: 33 or 34 each, a second for every 30.
    int total = 0;
    for (const int duration : animation.durations) {
        EXPECT_NEAR(duration, 33.3, 1.0);
        total += duration;
    }
    EXPECT_NEAR(total, 12000, 33);
}

TEST(WebpFromVideo, HasEveryFrameAtTheInputsPace) {
    ScratchFolder folder;
    makeClip(folder.path("in.avi"), pictureSource("25/2", 10, 320, 240));
    const auto result = runRenderTool({folder.path("in.avi"), folder.path("out.webp")});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const WebpAnimation animation = readWebpAnimation(readFile(folder.path("out.webp")));
    EXPECT_EQ(animation.width, 640);
    EXPECT_EQ(animation.height, 640);
    EXPECT_EQ(animation.durations, std::vector<int>(10, 80));  // 12.5 frames a second
}

// Files people really have, made by shell lines in a scratch folder (F runs ffmpeg, R runs
// glintara-render, C is a 4 s 320x240 clip at 25 fps with AAC sound as v.mp4 and v.ts), the
// render as a shell line, and what a player reads back from out.*: its frame count and the
// codec of its sound ("" for none).
struct EverydayFile {
    const char* name;
    std::string make;
    std::string render;
    int frames;
    const char* sound;
    cv::Size size{640, 640};  // of out.*
};

void PrintTo(const EverydayFile& file, std::ostream* out) {
    *out << file.name;
}

class EverydayFiles : public testing::TestWithParam<EverydayFile> {};

TEST_P(EverydayFiles, RenderEveryFrameWithTheSoundAPlayerPlays) {
    const EverydayFile file = GetParam();
    ScratchFolder folder;
    const std::string setup =
        "set -e; cd '" + folder.root().string() + "'; F='ffmpeg -v error -y'; R='" +
        GLINTARA_RENDER_BINARY +
        "'; $F -f lavfi -i testsrc2=s=320x240:r=25:d=4 -f lavfi -i sine=d=4 -c:v libx264 "
        "-preset ultrafast -c:a aac v.mp4; $F -i v.mp4 -c copy v.ts; ";
    const ProcessResult made = runProcess({"/bin/bash", "-c", setup + file.make}, 120s);
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    const ProcessResult rendered = runProcess({"/bin/bash", "-c", setup + file.render}, 120s);
    ASSERT_EQ(rendered.exitStatus, 0) << rendered.err;

    std::string out;
    for (const std::string& name : folder.names()) {
        out = name.starts_with("out.") ? folder.path(name) : out;
    }
    ASSERT_FALSE(out.empty()) << "no out.* was written";
    EXPECT_EQ(probeStream(out, "v:0", "nb_read_frames")["nb_read_frames"],
              std::to_string(file.frames));
    EXPECT_EQ(probeStream(out, "a:0", "codec_name")["codec_name"], file.sound);
    auto picture = probeStream(out, "v:0", "width,height");
    EXPECT_EQ(picture["width"] + "x" + picture["height"],
              std::to_string(file.size.width) + "x" + std::to_string(file.size.height));
}

// Three transport streams cut and joined; the middle one has a second sound stream.
constexpr const char* kJoinedStreams =
    "for n in 1 2; do $F -f lavfi -i testsrc2=s=320x240:r=25:d=1 -f lavfi -i sine=d=1 "
    "-f lavfi -i sine=f=880:d=1 -map 0 -map 1 $([ $n = 2 ] && echo -map 2) -c:v libx264 "
    "-preset ultrafast -c:a aac -streamid 0:256 -streamid 1:257 -streamid 2:258 p$n.ts; done; "
    "cat p1.ts p2.ts p1.ts > in.ts";
// A silent piece, then one with sound: the sound only starts at the splice.
constexpr const char* kSplicedStreams =
    "$F -f lavfi -i testsrc2=s=320x240:r=25:d=2 -c:v libx264 -preset ultrafast "
    "-streamid 0:256 s1.ts; $F -f lavfi -i testsrc2=s=320x240:r=25:d=2 -f lavfi -i sine=d=2 "
    "-c:v libx264 -preset ultrafast -c:a aac -streamid 0:256 -streamid 1:257 s2.ts; "
    "cat s1.ts s2.ts > in.ts";
// A camera's AVI: MJPG with PCM sound and no channel layout.
std::string cameraAvi(const std::string& pcm) {
    return "$F -i v.mp4 -c:v mjpeg " + pcm + " in.avi";
}
// The sound of v.mp4 in another codec beside its pictures, in a container that takes it.
std::string withSound(const std::string& codec, const std::string& container) {
    return "$F -i v.mp4 -c:v copy -c:a " + codec + " in." + container;
}
// A lossless picture turned by metadata, and the same turned in its pixels as ffmpeg and
// players turn it (counted anticlockwise); rendered alike. The metadata is written with the
// ffmpeg program's -display_rotation where it has it (FFmpeg 7), else as the "rotate" tag,
// which FFmpeg 7 keeps as a plain tag.
std::string turned(const std::string& rotate, const std::string& filter) {
    return "$F -i v.mp4 -an -frames:v 8 -c:v png src.mov; "
           "if ffmpeg -hide_banner -h full | grep -q -- -display_rotation; then "
           "$F -display_rotation " +
           rotate +
           " -i src.mov -c copy meta.mov; else $F -i src.mov -c copy -metadata:s:v:0 rotate=" +
           rotate + " meta.mov; fi; $F -i src.mov -vf " + filter + " -c:v png pixels.mov";
}
constexpr const char* kTurnedAlike =
    "$R meta.mov meta.avi && $R pixels.mov out.avi && "
    "cmp <($F -i meta.avi -c copy -f framemd5 -) <($F -i out.avi -c copy -f framemd5 -)";

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Inputs, EverydayFiles,
    testing::Values(
        EverydayFile{"TransportStreamsJoined", kJoinedStreams, "$R in.ts out.mp4", 75, "aac"},
        EverydayFile{"SoundOnlyFromTheSplice", kSplicedStreams, "$R in.ts out.mkv", 100, ""},
        EverydayFile{"VideoFromAPipe", "true", "cat v.ts | $R /dev/stdin out.mp4", 100, "aac"},
        EverydayFile{"VideoFromAFifo", "mkfifo in", "cat v.ts > in & $R in out.mkv", 100, "aac"},
        EverydayFile{"StillFromAPipe", "$F -i v.mp4 -frames:v 1 in.png",
                     "cat in.png | $R /dev/stdin out.png && $R in.png ref.png && cmp out.png ref.png",
                     1, ""},
        EverydayFile{"StderrClosed", "true", "$R v.mp4 out.avi 2>&-", 100, "aac"},
        EverydayFile{"ClockWrapsMidway", "$F -i v.mp4 -c copy -output_ts_offset 95442 -copyts in.ts",
                     "$R in.ts out.mp4", 100, "aac"},
        EverydayFile{"RawH264WithoutTimes", "$F -i v.mp4 -c copy -f h264 in.h264",
                     "$R in.h264 out.mp4", 100, ""},
        EverydayFile{"RawHevcWithoutTimes", "$F -i v.mp4 -c:v libx265 -x265-params log-level=0 -f hevc in.hevc",
                     "$R in.hevc out.mov", 100, ""},
        EverydayFile{"RawMjpegStream", "$F -i v.mp4 -c:v mjpeg -f mjpeg in.mjpeg",
                     "$R in.mjpeg out.avi", 100, ""},
        EverydayFile{"CameraAviStereoPcm", cameraAvi("-c:a pcm_s16le -ac 2"),
                     "$R in.avi out.mp4", 100, "aac"},
        EverydayFile{"CameraAviMonoPcmU8At8kHz", cameraAvi("-c:a pcm_u8 -ac 1 -ar 8000"),
                     "$R in.avi out.mp4", 100, "aac"},
        EverydayFile{"FlacIntoMp4", withSound("flac", "mkv"), "$R in.mkv out.mp4", 100, "aac"},
        EverydayFile{"OpusIntoMov", withSound("libopus", "mkv"), "$R in.mkv out.mov", 100, "aac"},
        EverydayFile{"VorbisIntoMp4", withSound("libvorbis", "mkv"), "$R in.mkv out.mp4", 100, "aac"},
        EverydayFile{"Mp3IntoMp4IsCopied", withSound("libmp3lame", "mkv"), "$R in.mkv out.mp4", 100, "mp3"},
        EverydayFile{"RotatedNinety", turned("90", "transpose=cclock"), kTurnedAlike, 8, ""},
        EverydayFile{"RotatedHalfTurn", turned("180", "hflip,vflip"), kTurnedAlike, 8, ""},
        EverydayFile{"StillAt1080", "$F -i v.mp4 -frames:v 1 in.png", "$R --size 1080 in.png out.png",
                     1, "", {1080, 1080}},
        EverydayFile{"VideoAt1080", "true", "$R --size 1080 --frames 30 v.mp4 out.mp4", 30, "aac",
                     {1080, 1080}},
        EverydayFile{"GuideVideoAt1080", "true",
                     "$R --size 1080 --frames 30 --capture out.mkv v.mp4 k.mp4", 30, "", {1080, 810}},
        EverydayFile{"PhotoLoopAt728", "$F -i v.mp4 -frames:v 1 in.png",
                     "$R --size 728 --frames 12 in.png out.mkv", 12, "", {728, 728}},
        EverydayFile{"RotatedTwoHundredSeventy", turned("270", "transpose=clock"), kTurnedAlike, 8, ""},
        EverydayFile{"OutputALinkWrittenThrough", "$F -i v.mp4 -frames:v 1 in.png; mkdir real; "
                     "ln -s real/star.png out.png",
                     "$R in.png out.png && test -L out.png && test -f real/star.png", 1, ""}),
    [](const testing::TestParamInfo<EverydayFile>& info) { return info.param.name; });
// clang-format on

// The width of the white shape in a picture over its height.
double whiteShapeAspect(const cv::Mat& picture) {
    cv::Mat white;
    cv::inRange(picture, cv::Scalar::all(200), cv::Scalar::all(255), white);
    const cv::Rect box = cv::boundingRect(white);
    return box.height == 0 ? 0.0 : static_cast<double>(box.width) / box.height;
}

// Anamorphic video, stored squeezed and shown wide (HDV, DV and DVD, with pixels 4/3 or 8/9 as
// wide as high), is prepared as players show it: a circle stays round. The clip holds a white
// disc drawn round as shown, an ellipse as stored.
struct Anamorphic {
    const char* name;
    cv::Size stored;
    int sarNum;
    int sarDen;
};

void PrintTo(const Anamorphic& clip, std::ostream* out) {
    *out << clip.name;
}

class AnamorphicVideo : public testing::TestWithParam<Anamorphic> {};

TEST_P(AnamorphicVideo, IsPreparedAsPlayersShowIt) {
    const Anamorphic clip = GetParam();
    ScratchFolder folder;
    const std::string w = std::to_string(clip.stored.width);
    const std::string h = std::to_string(clip.stored.height);
    const std::string sar = std::to_string(clip.sarNum) + "/" + std::to_string(clip.sarDen);
    // Shown x is stored X times the aspect; the disc's radius is a third of the height.
    const std::string disc = "if(lt(pow((X-W/2)*" + sar + ",2)+pow(Y-H/2,2),pow(H/3,2)),235,16)";
    makeClip(folder.path("in.mkv"),
             {"-f", "lavfi", "-i", "color=black:s=" + w + "x" + h + ":r=25:d=0.08", "-vf",
              "geq=lum='" + disc + "':cb=128:cr=128,setsar=" + sar, "-c:v", "ffv1"});
    const auto result = runRenderTool(
        {"--capture", folder.path("cap.mkv"), folder.path("in.mkv"), folder.path("out.mkv")});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const std::vector<cv::Mat> captures = decodeAll(folder.path("cap.mkv"));
    ASSERT_FALSE(captures.empty());
    EXPECT_NEAR(whiteShapeAspect(captures[0]), 1.0, 0.03) << "the disc is not round";
}

INSTANTIATE_TEST_SUITE_P(Clips, AnamorphicVideo,
                         testing::Values(Anamorphic{"Hdv", {1440, 1080}, 4, 3},
                                         Anamorphic{"WidescreenPal", {720, 576}, 64, 45},
                                         Anamorphic{"NarrowPal", {720, 576}, 16, 15},
                                         Anamorphic{"SquarePixels", {640, 360}, 1, 1}),
                         [](const testing::TestParamInfo<Anamorphic>& info) {
                             return info.param.name;
                         });

// Files glintara-render does not render, or renders with a word about them, made by shell lines
// as above; the exit status, and the one line on stderr that says what is wrong.
struct MisfitFile {
    const char* name;
    std::string make;
    std::string render;
    int status;
    const char* says;
};

void PrintTo(const MisfitFile& file, std::ostream* out) {
    *out << file.name;
}

class MisfitFiles : public testing::TestWithParam<MisfitFile> {};

TEST_P(MisfitFiles, AreToldApartInOneLine) {
    const MisfitFile file = GetParam();
    ScratchFolder folder;
    const std::string setup = "set -e; cd '" + folder.root().string() +
                              "'; F='ffmpeg -v error -y'; R='" + GLINTARA_RENDER_BINARY +
                              "'; $F -f lavfi -i testsrc2=s=320x240:r=25:d=1 v.mp4; ";
    const ProcessResult made = runProcess({"/bin/bash", "-c", setup + file.make}, 120s);
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    const std::vector<std::string> before = folder.names();
    const ProcessResult rendered =
        runProcess({"/bin/bash", "-c", setup + file.render + " 2>said"}, 120s);
    EXPECT_EQ(rendered.exitStatus, file.status) << readFile(folder.path("said"));
    const std::string said = readFile(folder.path("said"));
    const std::vector<std::string> lines = linesOf(said);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find(file.says), std::string::npos) << said;
    if (file.status != 0) {
        ASSERT_EQ(lines.size(), 1u) << said;
        std::vector<std::string> after = folder.names();
        std::erase(after, "said");
        EXPECT_EQ(after, before) << "no new, partial or temporary file";
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Inputs, MisfitFiles,
    testing::Values(
        MisfitFile{"VideoToAStill", "true", "$R v.mp4 out.png", 1, "out.png: INPUT is a video"},
        MisfitFile{"OutputAFolder", "mkdir out", "$R v.mp4 out", 1, "out: is a directory"},
        MisfitFile{"AnimatedWebp", "$R --frames 3 v.mp4 in.webp", "$R in.webp out.png", 1,
                   "in.webp: is an animated WebP"},
        MisfitFile{"CmykTiffWithAlpha", "convert -size 64x48 xc:red -colorspace CMYK -alpha set in.tif",
                   "$R in.tif out.png", 1, "in.tif: is a picture with more colour channels"},
        MisfitFile{"Mp4WithItsIndexLastThroughAPipe",
                   "$F -f lavfi -i testsrc2=s=320x240:r=25:d=4 -c:v libx264 -preset ultrafast in.mp4",
                   "cat in.mp4 | $R /dev/stdin out.mp4", 1,
                   "with its index at the end, which cannot be read from a pipe"},
        MisfitFile{"SoundAlone", "$F -f lavfi -i sine=d=1 in.mp3", "$R in.mp3 out.mp4", 1,
                   "in.mp3: holds sound but no video"},
        MisfitFile{"SongWithCoverArt", "$F -f lavfi -i sine=d=1 s.mp3; $F -i v.mp4 -frames:v 1 c.png; "
                   "$F -i s.mp3 -i c.png -map 0 -map 1 -c copy -disposition:v attached_pic in.mp3",
                   "$R in.mp3 out.mp4", 1, "in.mp3: holds sound but no video"},
        MisfitFile{"EndlessDevice", "true", "$R /dev/zero out.png", 1,
                   "/dev/zero: holds more than the 512 MiB"},
        MisfitFile{"SoundOutlastsThePicture",
                   "$F -f lavfi -i testsrc2=s=320x240:r=25:d=0.2 -f lavfi -i sine=d=20 in.mkv",
                   "$R --quiet in.mkv out.mkv", 0, "in.mkv: the sound goes on past the last frame"}),
    [](const testing::TestParamInfo<MisfitFile>& info) { return info.param.name; });
// clang-format on

// A tmpfs of a few hundred kilobytes, mounted for the test; root only.
class FullDisk : public testing::Test {
  protected:
    void SetUp() override {
        if (mount("tmpfs", disk_.root().c_str(), "tmpfs", 0, "size=400k") != 0) {
            GTEST_SKIP() << "a small tmpfs cannot be mounted here (needs root)";
        }
        mounted_ = true;
    }
    void TearDown() override {
        if (mounted_) {
            umount(disk_.root().c_str());
        }
    }
    ScratchFolder clips_;
    ScratchFolder disk_;
    bool mounted_ = false;
};

TEST_F(FullDisk, WritingAVideoFailsWithOneLineAndLeavesNothingBehind) {
    makeClip(clips_.path("clip.avi"), pictureSource("25", 40));
    for (const char* name : {"out.avi", "out.mp4"}) {
        const std::string out = disk_.path(name);
        writeFile(out, "precious");
        const auto result = runRenderTool({clips_.path("clip.avi"), out});
        EXPECT_EQ(result.exitStatus, 1) << name;
        ASSERT_EQ(linesOf(result.err).size(), 1u) << result.err;
        EXPECT_NE(result.err.find(out + ": "), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("No space left on device"), std::string::npos) << result.err;
        EXPECT_EQ(disk_.names(), std::vector<std::string>{name});
        EXPECT_EQ(readFile(out), "precious");
        std::filesystem::remove(out);
    }
}

}  // namespace
}  // namespace glintara
