#pragma once

#include "platform/AudioOutput.h"
#include "platform/AudioPlayer.h"
#include "platform/FFmpegStreamDecoder.h"

#include <QString>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>
#include <span>

namespace varno {

class AudioRingBuffer;

// The process's connection to its sound output, shared by a player factory
// and the players it made: whoever finds the output gone connects again, and
// the others take the new output when they next open a stream. Main thread
// only.
class AudioOutputConnection {
public:
    // Throws AudioOutputError when no output can be had.
    using Connect = std::function<std::shared_ptr<audio::AudioOutput>()>;

    explicit AudioOutputConnection(Connect connect);

    // The output, connected now when there is none yet or the last one went
    // away. Throws what Connect throws.
    std::shared_ptr<audio::AudioOutput> usableOutput();

    // The device chosen for every output this connection makes.
    void setDevice(const QString& id);
    // The chosen device, when it was missing as a stream last opened and
    // the default one played instead: once per choice of device, however
    // many songs start on the default and however often the output is
    // connected again, so the user is told once.
    std::optional<QString> takeMissingDevice();

private:
    Connect m_connect;
    std::shared_ptr<audio::AudioOutput> m_output;
    QString m_device;
    bool m_missingTold = false;
};

// A player over FFmpeg and one of the audio outputs.
//
// prepareToPlay() opens an output stream and starts a decoding thread of the
// player's own. That thread decodes through FFmpegStreamDecoder to float
// interleaved at the file's rate, mono or stereo, into a lock-free ring of
// about 0.7 s that the output's callback drains; it sleeps while the ring is
// more than half full, so playing costs a few wake-ups a second and a paused
// player costs nothing. Volume is applied in the callback.
//
// Positions: every seek (and every prepare) starts a new generation. The
// decoder marks where in the ring the new generation's samples begin and
// the callback skips to that mark, so nothing of the old place is heard; the
// position is the generation's start plus what the output reports as heard
// since its first samples went out.
//
// The end of the file is reported once the output has played the last
// samples, through a queued call to the main thread that is dropped when the
// player is gone or the generation has moved on (a seek, a stop).
//
// Songs that follow (setFollowing) are decoded into the same ring right
// behind the current one, converted to the stream's format, so the first
// sample of one follows the last of the other with nothing between them.
// With a crossfade the decoder holds back the current song's last seconds
// and mixes them into the next song's first ones. The decoder says where in
// the ring the next song begins; the main thread switches (duration,
// position, the observer's notification) once the output has played up to
// there. Until then a seek into the current song takes it back: the next
// song is decoded again after it. A different song to follow, set while the
// output has not yet taken the next song's first sample, takes the next song
// back out of the ring, and the new one follows at the same place without a
// gap. ReplayGain is applied as samples are decoded, each song at its own
// level.
//
// When the output breaks (the sound server went away) the player reports an
// unsuccessful end, keeps the position that was heard and says why through
// outputFailure(). Given the connection it came from, the next prepare
// connects again, so playing on resumes where the sound stopped.
//
// An output can also stop taking sound without breaking: a sound server that
// was suspended or hangs keeps its connection open and simply never asks for
// more. While playing, the player looks twice a second whether the output
// has heard anything new; when samples are waiting and nothing was heard for
// kStallLimit, it ends the same way as a broken output, saying so.
class FFmpegAudioPlayer final : public AudioPlayer, private audio::AudioSource {
public:
    // Opens `path` and reads its stream table; decodes nothing. Throws
    // MediaReadError when FFmpeg cannot open the file, it holds no audio or
    // it does not state its audio format.
    // Without a connection, a lost output stays lost for this player.
    FFmpegAudioPlayer(const QString& path, std::shared_ptr<audio::AudioOutput> output,
                      std::shared_ptr<AudioOutputConnection> connection = nullptr);
    ~FFmpegAudioPlayer() override;

    FFmpegAudioPlayer(const FFmpegAudioPlayer&) = delete;
    FFmpegAudioPlayer& operator=(const FFmpegAudioPlayer&) = delete;

    double duration() const override { return m_duration; }
    double currentTime() const override;
    void setCurrentTime(double seconds) override;
    void setVolume(float volume) override;

    bool prepareToPlay() override;
    bool play() override;
    void pause() override;
    void stop() override;

    void setLoudnessGain(LoudnessGain gain) override;
    void setFollowing(const std::optional<FollowingSong>& song) override;

    void setObserver(AudioPlayerObserver* observer) override { m_observer = observer; }
    std::optional<QString> outputFailure() const override { return m_outputFailure; }

    // How long an output may sit on waiting samples before the player gives
    // up on it. A sound server holds a new stream back for up to two seconds
    // before it plays.
    static constexpr std::chrono::milliseconds kStallLimit {3000};

    // For tests and benchmarks. The open output stream (null when not
    // prepared), and when the first samples after the latest play() or seek
    // were handed to it (absent until they have been).
    audio::AudioOutputStream* outputStream() const { return m_stream.get(); }
    std::optional<std::chrono::steady_clock::time_point> firstSamplesHandedAt() const;
    // Whether the next song's first samples are in the ring, not yet heard.
    bool isFollowingSongDecoded() const { return m_transition.has_value(); }

    // The linear factor `gain` asks of a file with `tags`: the gain in dB
    // made linear, kept down so that the stated peak does not clip.
    static float gainFactor(const FFmpegAudioDecodeSession::LoudnessTags& tags, LoudnessGain gain);

private:
    using LoudnessTags = FFmpegAudioDecodeSession::LoudnessTags;

    // One song's decoder and what it is played with. The main thread numbers
    // each song it hands over (`token`), so the decoder can tell which song
    // a seek means.
    struct Song {
        std::unique_ptr<FFmpegStreamDecoder> decoder;
        LoudnessTags tags;
        float gain = 1.0f;
        double crossfadeSeconds = 0;
        double duration = 0;
        std::uint32_t token = 0;
    };

    // Where the decoder put the next song's first sample; main thread.
    struct Transition {
        std::uint32_t generation = 0;
        std::uint32_t token = 0;
        std::uint64_t ringPosition = 0;
        double duration = 0;
        LoudnessTags tags;
        QString path;
    };
    enum class State { Stopped, Paused, Playing };

    // What the main thread asks of the decoding thread; only the latest seek
    // matters.
    struct Command {
        bool quit = false;
        bool seek = false;
        double seconds = 0;
        std::uint32_t generation = 0;
        // The song the seek is into, as the main thread numbers them.
        std::uint32_t songToken = 0;
        bool follow = false;
        Song following;
        bool regain = false;
        float gain = 1.0f;
    };

    // Outlives the player while a queued notification holds it, so the
    // notification can tell that the player is gone.
    struct Liveness {
        FFmpegAudioPlayer* player;
    };

    // audio::AudioSource, on the output's thread.
    std::size_t render(float* out, std::size_t frames) noexcept override;
    void outputFailed() noexcept override;

    void decodeLoop();
    // Decoding thread: the next samples for the ring from one decoded block
    // of the current song (its gain, the fading tail of the song before
    // mixed in, its own tail held back for a crossfade).
    std::span<const float> shape(std::span<const float> block);
    // Decoding thread: the current song has ended; moves on to the following
    // one when there is one that opens. False when there is none.
    bool moveToFollowing(std::uint32_t generation);
    // Decoding thread: what is held back, faded out alone.
    std::span<const float> releaseTails();
    // Decoding thread: takes the song it moved on to back out of the ring,
    // so the song before ends there again and m_following follows it. The
    // output has to agree first (it may have taken that song's first
    // samples already): Waiting until it has answered, after a wait for
    // news since `seen`; Done with what to write next in `pending`.
    enum class TakeBack { Waiting, Refused, Done };
    TakeBack takeBackFollowed(std::uint32_t generation, std::uint32_t seen, std::span<const float>& pending);
    void sizeHoldback();
    std::size_t holdbackTarget() const;
    void postTransition(const Transition& transition);
    // Sleeps until the ring has room for `samples`, or a command or an
    // output failure arrives (or anything else bumped m_wake since `seen`).
    void waitForRoom(std::size_t samples, std::uint32_t seen);
    void postFinished(std::uint32_t generation, bool successfully);

    // Main thread.
    void send(Command command);
    void shutDown();
    void finished(std::uint32_t generation, bool successfully);
    // Makes sure m_output can open a stream: the one held, or a new
    // connection when that one went away. False, with m_outputFailure set,
    // when there is none.
    bool ensureUsableOutput();
    void watchOutputProgress();
    void checkOutputProgress();
    void outputStalled();
    void transitionDecoded(const Transition& transition);
    // Switches to the following song once the output has played up to its
    // first sample (or at once with `now`, as at the end of the stream).
    void checkTransition(bool now = false);
    // Which song the decoder should treat as current after it stopped.
    void settleSongsAfterStop();
    QString m_path;
    std::shared_ptr<audio::AudioOutput> m_output;
    std::shared_ptr<AudioOutputConnection> m_connection;
    // The current song, the one after it and the one just left behind (its
    // end decoded, not yet heard). The decoding thread's while it runs, the
    // main thread's otherwise.
    Song m_current;
    Song m_following;
    Song m_previous;
    double m_duration = 0;
    // The output stream's format, which every song is converted to.
    int m_sampleRate = 0;
    std::size_t m_channelCount = 0;

    // Decoding thread: the held-back end of the current song and the tail of
    // the song before being faded out; reused buffers.
    std::unique_ptr<AudioRingBuffer> m_holdback;
    std::unique_ptr<AudioRingBuffer> m_fadingTail;
    std::size_t m_fadeLength = 0;
    std::size_t m_fadeDone = 0;
    // Decoding thread: where in the ring the song it moved on to begins,
    // until a seek; and the end of the song before as it was held back,
    // to put back when that song is taken back.
    std::optional<std::uint64_t> m_followStart;
    std::vector<float> m_fadedTail;
    std::vector<float> m_work;
    std::vector<float> m_tailWork;
    std::vector<float> m_out;

    // Main thread only.
    std::uint32_t m_songToken = 0;
    std::uint32_t m_lastToken = 0;
    LoudnessTags m_currentTags;
    LoudnessGain m_gainMode = LoudnessGain::Off;
    std::optional<Transition> m_transition;
    // The frame (in heardFrames' count) where the current song began, once
    // it followed another in this generation.
    std::optional<std::uint64_t> m_songStartFrame;
    State m_state = State::Stopped;
    double m_position = 0;          // while no stream is open
    double m_segmentTime = 0;       // where the current generation starts
    bool m_atEnd = false;
    std::optional<QString> m_outputFailure;
    AudioPlayerObserver* m_observer = nullptr;
    std::shared_ptr<Liveness> m_liveness;
    std::weak_ptr<Liveness> m_livenessForThreads;

    std::unique_ptr<AudioRingBuffer> m_ring;
    std::unique_ptr<audio::AudioOutputStream> m_stream;
    std::thread m_thread;

    // Bumped by every seek, prepare and stop; the callback plays only the
    // current generation's samples.
    std::atomic<std::uint32_t> m_generation {0};
    // Generation (low 16 bits) and ring position where its samples begin;
    // written by the decoder.
    std::atomic<std::uint64_t> m_segment {0};
    // Generation and the count of frames handed to the output when its
    // first samples went out; written by the callback.
    std::atomic<std::uint64_t> m_segmentStart {0};

    // The decoder sleeps on this counter; everyone with news bumps it.
    std::atomic<std::uint32_t> m_wake {0};
    // Ring space (in samples) the sleeping decoder waits for; 0 when not.
    std::atomic<std::size_t> m_roomWanted {0};
    std::atomic<bool> m_commandPending {false};
    std::atomic<bool> m_outputBroken {false};
    std::mutex m_commandMutex;
    Command m_command;

    // Taking back the song the decoder moved on to: the decoder asks, naming
    // the generation and ring position of that song's first sample; the
    // callback answers whether it has read that far and, if not, reads no
    // further until the decoder withdraws the request. Then the decoder
    // names the song taken back (its token), so the main thread never
    // switches to it.
    enum CutState : std::uint32_t { kNoCut, kCutAsked, kCutHolding, kCutRefused };
    std::atomic<std::uint64_t> m_cutAt {0};
    std::atomic<std::uint32_t> m_cutState {kNoCut};
    std::atomic<std::uint32_t> m_withdrawnToken {0};
    // Samples the output must still have ahead of it before the song to be
    // taken back begins (a tenth of a second): the decoder's time to act.
    // Set before the decoding thread starts.
    std::uint64_t m_cutLead = 0;

    // Set by the decoder while it waits for the output to play out the end.
    std::atomic<bool> m_draining {false};

    std::atomic<float> m_volume {1.0f};
    std::atomic<bool> m_markFirstSamples {false};
    std::atomic<std::int64_t> m_firstSamplesAt {0};

    // The callback's own; its calls never overlap (the output serialises them).
    std::uint32_t m_renderedGeneration = 0;
    std::uint64_t m_rendered = 0;

    // Main thread: what the output had heard when it last moved. Declared
    // last so the timer goes first and never fires into a half-destroyed
    // player.
    std::uint64_t m_lastHeard = 0;
    std::chrono::steady_clock::time_point m_lastProgress;
    std::unique_ptr<QTimer> m_stallWatch;
    std::unique_ptr<QTimer> m_transitionWatch;
};

// Makes FFmpeg players for an output connected on demand: at the first
// makePlayer, and again after a failed attempt or once the output has gone
// away, so a sound server that starts later is found.
class FFmpegAudioPlayerFactory final : public AudioPlayerFactory {
public:
    using Connect = AudioOutputConnection::Connect;

    explicit FFmpegAudioPlayerFactory(Connect connect);

    std::unique_ptr<AudioPlayer> makePlayer(const QString& path) override;
    std::vector<audio::OutputDevice> devices() override;
    void setDevice(const QString& id) override;
    std::optional<QString> takeMissingDevice() override;

private:
    std::shared_ptr<AudioOutputConnection> m_connection;
};

} // namespace varno
