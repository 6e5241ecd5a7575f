/* A playback PCM loaded by alsa-lib: a card taking one format and channel count at 44,100 Hz that
 * consumes every period at once and, once N frames have arrived, fails the way hardware does:
 * xrun_after N (one underrun), fail_after N (the device vanishes, ENODEV), stall_after N (hangs). */
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <errno.h>
#include <poll.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <unistd.h>

typedef struct {
    snd_pcm_ioplug_t io;
    snd_pcm_uframes_t hw_ptr; /* frames consumed since the last prepare */
    long long received;       /* frames consumed since open */
    long limits[3];           /* xrun_after, fail_after, stall_after; -1: never */
    int xrun_done, failed;
} test_pcm_t;

static const char* const limit_names[3] = {"xrun_after", "fail_after", "stall_after"};

static int test_start(snd_pcm_ioplug_t* io) {
    return ((test_pcm_t*)io->private_data)->failed ? -ENODEV : 0;
}

static int test_stop(snd_pcm_ioplug_t* io) {
    (void)io;
    return 0;
}

static int test_prepare(snd_pcm_ioplug_t* io) {
    test_pcm_t* pcm = io->private_data;
    pcm->hw_ptr = 0;
    return pcm->failed ? -ENODEV : 0;
}

static snd_pcm_sframes_t test_pointer(snd_pcm_ioplug_t* io) {
    test_pcm_t* pcm = io->private_data;
    return pcm->failed ? -ENODEV : (snd_pcm_sframes_t)(pcm->hw_ptr % io->buffer_size);
}

static int reached(const test_pcm_t* pcm, int limit) {
    return pcm->limits[limit] >= 0 && pcm->received >= pcm->limits[limit];
}

static snd_pcm_sframes_t test_transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                                       snd_pcm_uframes_t offset, snd_pcm_uframes_t size) {
    test_pcm_t* pcm = io->private_data;
    (void)areas;
    (void)offset;
    if (pcm->failed || reached(pcm, 1)) {
        pcm->failed = 1;
        return -ENODEV;
    }
    if (!pcm->xrun_done && reached(pcm, 0)) {
        pcm->xrun_done = 1;
        snd_pcm_ioplug_set_state(io, SND_PCM_STATE_XRUN);
        return -EPIPE;
    }
    /* Hung: the frames are taken but never played, and the poll descriptor stops being writable
     * (an eventfd at its largest count), so a writer waits for ever. */
    static const uint64_t most = 0xfffffffffffffffeULL;
    if (!reached(pcm, 2)) {
        pcm->hw_ptr += size;
    } else if (write(io->poll_fd, &most, sizeof most) < 0) {
        /* already at its largest count */
    }
    pcm->received += size;
    return (snd_pcm_sframes_t)size;
}

static int test_close(snd_pcm_ioplug_t* io) {
    close(io->poll_fd);
    free(io->private_data);
    return 0;
}

static const snd_pcm_ioplug_callback_t test_callbacks = {.start = test_start,
                                                         .stop = test_stop,
                                                         .pointer = test_pointer,
                                                         .transfer = test_transfer,
                                                         .close = test_close,
                                                         .prepare = test_prepare};

SND_PCM_PLUGIN_DEFINE_FUNC(quoriltest) {
    snd_config_iterator_t i, next;
    const char* format_name = "S16_LE";
    long channels = 2, limits[3] = {-1, -1, -1};
    (void)root;
    snd_config_for_each(i, next, conf) {
        snd_config_t* n = snd_config_iterator_entry(i);
        const char* id = "";
        snd_config_get_id(n, &id);
        int known = !strcmp(id, "type") ||
                    (!strcmp(id, "format") && snd_config_get_string(n, &format_name) >= 0) ||
                    (!strcmp(id, "channels") && snd_config_get_integer(n, &channels) >= 0);
        for (int k = 0; k < 3; ++k) {
            known = known || (!strcmp(id, limit_names[k]) && snd_config_get_integer(n, &limits[k]) >= 0);
        }
        if (!known) {
            SNDERR("Unknown field %s", id);
            return -EINVAL;
        }
    }
    snd_pcm_format_t format = snd_pcm_format_value(format_name);
    if (format == SND_PCM_FORMAT_UNKNOWN || channels < 1 || stream != SND_PCM_STREAM_PLAYBACK) {
        return -EINVAL;
    }
    test_pcm_t* pcm = calloc(1, sizeof(*pcm));
    if (pcm == NULL) {
        return -ENOMEM;
    }
    memcpy(pcm->limits, limits, sizeof limits);
    pcm->io.version = SND_PCM_IOPLUG_VERSION;
    pcm->io.name = "Quoril test PCM";
    pcm->io.callback = &test_callbacks;
    pcm->io.private_data = pcm;
    /* An eventfd is always writable: the device never makes the writer wait. */
    pcm->io.poll_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    pcm->io.poll_events = POLLOUT;
    int err = snd_pcm_ioplug_create(&pcm->io, name, stream, mode);
    if (err < 0) {
        close(pcm->io.poll_fd);
        free(pcm);
        return err;
    }
    static const unsigned int access[] = {SND_PCM_ACCESS_RW_INTERLEAVED, SND_PCM_ACCESS_MMAP_INTERLEAVED};
    unsigned int format_list[] = {(unsigned int)format}, rate_list[] = {44100};
    int frame_bytes = snd_pcm_format_physical_width(format) / 8 * (int)channels;
    if ((err = snd_pcm_ioplug_set_param_list(&pcm->io, SND_PCM_IOPLUG_HW_ACCESS, 2, access)) < 0 ||
        (err = snd_pcm_ioplug_set_param_list(&pcm->io, SND_PCM_IOPLUG_HW_FORMAT, 1, format_list)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(&pcm->io, SND_PCM_IOPLUG_HW_CHANNELS, (unsigned)channels,
                                               (unsigned)channels)) < 0 ||
        (err = snd_pcm_ioplug_set_param_list(&pcm->io, SND_PCM_IOPLUG_HW_RATE, 1, rate_list)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(&pcm->io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 16 * frame_bytes,
                                               65536 * frame_bytes)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(&pcm->io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64)) < 0) {
        snd_pcm_ioplug_delete(&pcm->io);
        return err;
    }
    *pcmp = pcm->io.pcm;
    return 0;
}

SND_PCM_PLUGIN_SYMBOL(quoriltest);
