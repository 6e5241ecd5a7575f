/* A playback PCM for the driver tests, loaded by alsa-lib as an external plug-in
 * (pcm_type.quoriltest { lib "<this file>" }). It behaves like a sound card that takes exactly the
 * formats, channel counts and rates its configuration names, consumes every period at once, and on
 * request fails the way hardware does: an underrun once, or a device that vanishes for good.
 *
 *   pcm.name {
 *       type quoriltest
 *       format S24_3LE        # the one sample format it takes (default S16_LE)
 *       channels 4            # the one channel count it takes (default 2)
 *       rates "44100,48000"   # the rates it takes (default "44100")
 *       xrun_after 2048       # report one underrun once this many frames have arrived
 *       fail_after 4096       # vanish (ENODEV) once this many frames have arrived
 *       stall_after 4096      # stop consuming (a hung device) once this many frames have arrived
 *   }
 */
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <errno.h>
#include <stdint.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <unistd.h>

#define MAX_RATES 8

typedef struct {
    snd_pcm_ioplug_t io;
    snd_pcm_uframes_t hw_ptr;    /* frames consumed since the last prepare */
    unsigned long long received; /* frames consumed since open */
    long long xrun_after;
    long long fail_after;
    long long stall_after;
    int xrun_done;
    int failed;
} test_pcm_t;

static int test_start(snd_pcm_ioplug_t* io) {
    return ((test_pcm_t*)io->private_data)->failed ? -ENODEV : 0;
}

static int test_stop(snd_pcm_ioplug_t* io) {
    (void)io;
    return 0;
}

static int test_prepare(snd_pcm_ioplug_t* io) {
    test_pcm_t* pcm = io->private_data;
    if (pcm->failed) {
        return -ENODEV;
    }
    pcm->hw_ptr = 0;
    return 0;
}

static snd_pcm_sframes_t test_pointer(snd_pcm_ioplug_t* io) {
    test_pcm_t* pcm = io->private_data;
    if (pcm->failed) {
        return -ENODEV;
    }
    return (snd_pcm_sframes_t)(pcm->hw_ptr % io->buffer_size);
}

static snd_pcm_sframes_t test_transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                                       snd_pcm_uframes_t offset, snd_pcm_uframes_t size) {
    test_pcm_t* pcm = io->private_data;
    (void)areas;
    (void)offset;
    if (pcm->failed) {
        return -ENODEV;
    }
    if (pcm->fail_after >= 0 && pcm->received >= (unsigned long long)pcm->fail_after) {
        pcm->failed = 1;
        return -ENODEV;
    }
    if (pcm->xrun_after >= 0 && !pcm->xrun_done && pcm->received >= (unsigned long long)pcm->xrun_after) {
        pcm->xrun_done = 1;
        snd_pcm_ioplug_set_state(io, SND_PCM_STATE_XRUN);
        return -EPIPE;
    }
    if (pcm->stall_after >= 0 && pcm->received >= (unsigned long long)pcm->stall_after) {
        /* Hung: the frames are taken into the buffer but never played, and the poll descriptor
         * stops being writable (an eventfd at its largest count), so a writer waits for ever. */
        uint64_t most = 0xfffffffffffffffeULL;
        if (write(io->poll_fd, &most, sizeof most) < 0) {
            /* already at its largest count */
        }
        pcm->received += size;
        return (snd_pcm_sframes_t)size;
    }
    /* Consumed at once, as if played. */
    pcm->received += size;
    pcm->hw_ptr += size;
    return (snd_pcm_sframes_t)size;
}

static int test_close(snd_pcm_ioplug_t* io) {
    test_pcm_t* pcm = io->private_data;
    if (io->poll_fd >= 0) {
        close(io->poll_fd);
    }
    free(pcm);
    return 0;
}

static const snd_pcm_ioplug_callback_t test_callbacks = {
    .start = test_start,
    .stop = test_stop,
    .pointer = test_pointer,
    .transfer = test_transfer,
    .close = test_close,
    .prepare = test_prepare,
};

static int parse_rates(const char* text, unsigned int* rates) {
    int count = 0;
    while (text != NULL && *text != '\0' && count < MAX_RATES) {
        char* end = NULL;
        unsigned long rate = strtoul(text, &end, 10);
        if (end == text) {
            break;
        }
        rates[count++] = (unsigned int)rate;
        text = *end == ',' ? end + 1 : end;
    }
    return count;
}

SND_PCM_PLUGIN_DEFINE_FUNC(quoriltest) {
    snd_config_iterator_t i, next;
    const char* format_name = "S16_LE";
    const char* rates_text = "44100";
    long channels = 2;
    long xrun_after = -1;
    long fail_after = -1;
    long stall_after = -1;
    (void)root;

    snd_config_for_each(i, next, conf) {
        snd_config_t* n = snd_config_iterator_entry(i);
        const char* id;
        if (snd_config_get_id(n, &id) < 0) {
            continue;
        }
        if (strcmp(id, "comment") == 0 || strcmp(id, "type") == 0 || strcmp(id, "hint") == 0) {
            continue;
        }
        if (strcmp(id, "format") == 0 && snd_config_get_string(n, &format_name) >= 0) {
            continue;
        }
        if (strcmp(id, "rates") == 0 && snd_config_get_string(n, &rates_text) >= 0) {
            continue;
        }
        if (strcmp(id, "channels") == 0 && snd_config_get_integer(n, &channels) >= 0) {
            continue;
        }
        if (strcmp(id, "xrun_after") == 0 && snd_config_get_integer(n, &xrun_after) >= 0) {
            continue;
        }
        if (strcmp(id, "fail_after") == 0 && snd_config_get_integer(n, &fail_after) >= 0) {
            continue;
        }
        if (strcmp(id, "stall_after") == 0 && snd_config_get_integer(n, &stall_after) >= 0) {
            continue;
        }
        SNDERR("Unknown field %s", id);
        return -EINVAL;
    }
    snd_pcm_format_t format = snd_pcm_format_value(format_name);
    unsigned int rates[MAX_RATES];
    int rate_count = parse_rates(rates_text, rates);
    if (format == SND_PCM_FORMAT_UNKNOWN || channels < 1 || rate_count == 0 ||
        stream != SND_PCM_STREAM_PLAYBACK) {
        return -EINVAL;
    }

    test_pcm_t* pcm = calloc(1, sizeof(*pcm));
    if (pcm == NULL) {
        return -ENOMEM;
    }
    pcm->xrun_after = xrun_after;
    pcm->fail_after = fail_after;
    pcm->stall_after = stall_after;
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
    unsigned int format_list[] = {(unsigned int)format};
    int frame_bytes = snd_pcm_format_physical_width(format) / 8 * (int)channels;
    if ((err = snd_pcm_ioplug_set_param_list(&pcm->io, SND_PCM_IOPLUG_HW_ACCESS, 2, access)) < 0 ||
        (err = snd_pcm_ioplug_set_param_list(&pcm->io, SND_PCM_IOPLUG_HW_FORMAT, 1, format_list)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(&pcm->io, SND_PCM_IOPLUG_HW_CHANNELS, (unsigned)channels,
                                               (unsigned)channels)) < 0 ||
        (err = snd_pcm_ioplug_set_param_list(&pcm->io, SND_PCM_IOPLUG_HW_RATE, (unsigned)rate_count, rates)) <
            0 ||
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
