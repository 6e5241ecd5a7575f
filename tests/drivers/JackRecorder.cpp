#include "JackRecorder.h"

#include <time.h>

#include <cerrno>

namespace quoril::test {

JackRecorder::JackRecorder(size_t capacityFrames) : m_left(capacityFrames), m_right(capacityFrames) {
    sem_init(&m_sound, 0, 0);
}

JackRecorder::~JackRecorder() {
    if (m_client != nullptr) {
        jack_client_close(m_client);
    }
    sem_destroy(&m_sound);
}

bool JackRecorder::open(std::string& why) {
    jack_status_t status{};
    m_client = jack_client_open("QuorilRecorder", JackNoStartServer, &status);
    if (m_client == nullptr) {
        why = "the recorder cannot connect to the JACK server";
        return false;
    }
    m_in[0] = jack_port_register(m_client, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    m_in[1] = jack_port_register(m_client, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    if (m_in[0] == nullptr || m_in[1] == nullptr ||
        jack_set_process_callback(m_client, &process, this) != 0 ||
        jack_set_port_registration_callback(m_client, &portRegistered, this) != 0 ||
        jack_activate(m_client) != 0) {
        why = "the recorder cannot start";
        return false;
    }
    return true;
}

bool JackRecorder::waitForPort(const std::string& name, std::chrono::milliseconds deadline) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_portsChanged.wait_for(lock, deadline,
                                   [&] { return jack_port_by_name(m_client, name.c_str()) != nullptr; });
}

bool JackRecorder::connectFrom(const std::string& left, const std::string& right) {
    return jack_connect(m_client, left.c_str(), jack_port_name(m_in[0])) == 0 &&
           jack_connect(m_client, right.c_str(), jack_port_name(m_in[1])) == 0;
}

bool JackRecorder::waitForSound(std::chrono::milliseconds deadline) {
    if (m_heardSound.load(std::memory_order_acquire)) {
        return true;
    }
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    const auto ms = deadline.count();
    until.tv_sec += static_cast<time_t>(ms / 1000);
    until.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    while (sem_timedwait(&m_sound, &until) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

int JackRecorder::process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<JackRecorder*>(arg);
    const jack_nframes_t cycleStart = jack_last_frame_time(self->m_client);
    if (self->m_cycled && cycleStart - self->m_lastCycleStart != frames) {
        self->m_missedCycles.fetch_add(1, std::memory_order_relaxed);
    }
    self->m_cycled = true;
    self->m_lastCycleStart = cycleStart;
    const auto* l = static_cast<const float*>(jack_port_get_buffer(self->m_in[0], frames));
    const auto* r = static_cast<const float*>(jack_port_get_buffer(self->m_in[1], frames));
    size_t at = self->m_count.load(std::memory_order_relaxed);
    bool sound = false;
    for (jack_nframes_t i = 0; i < frames && at < self->m_left.size(); ++i, ++at) {
        self->m_left[at] = l[i];
        self->m_right[at] = r[i];
        sound = sound || l[i] != 0.0f || r[i] != 0.0f;
    }
    self->m_count.store(at, std::memory_order_release);
    if (sound && !self->m_heardSound.exchange(true, std::memory_order_acq_rel)) {
        sem_post(&self->m_sound);
    }
    return 0;
}

void JackRecorder::portRegistered(jack_port_id_t, int, void* arg) {
    auto* self = static_cast<JackRecorder*>(arg);
    std::lock_guard<std::mutex> lock(self->m_mutex);
    ++self->m_registrations;
    self->m_portsChanged.notify_all();
}

}  // namespace quoril::test
