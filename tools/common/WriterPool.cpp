#include "WriterPool.h"

#include <algorithm>
#include <chrono>

namespace pellvane::tools {

WriterPool::WriterPool(unsigned threads, std::size_t capacity, PictureFormat format, int pngLevel)
    : capacity_(std::max<std::size_t>(capacity, 1)), format_(format), pngLevel_(pngLevel) {
    for (std::size_t i = 0; i < capacity_; ++i) {
        buffers_.push_back(std::make_unique<std::vector<uint8_t>>());
        free_.push_back(buffers_.back().get());
    }
    for (unsigned i = 0; i < std::max(threads, 1u); ++i)
        threads_.emplace_back([this] { work(); });
}

WriterPool::~WriterPool() {
    finish();
}

void WriterPool::prepare(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    for (std::vector<uint8_t>* b : free_)
        b->assign(bytes, 0);
}

std::vector<uint8_t>* WriterPool::reserve(std::size_t bytes, int waitMs) {
    std::unique_lock lock(mutex_);
    const bool got = room_.wait_for(lock, std::chrono::milliseconds(waitMs),
                                    [&] { return !free_.empty() || !error_.empty() || stopping_; });
    if (!got || free_.empty() || !error_.empty() || stopping_) return nullptr;
    std::vector<uint8_t>* b = free_.back();
    free_.pop_back();
    ++reserved_;
    lock.unlock();
    b->resize(bytes);
    return b;
}

void WriterPool::submit(std::vector<uint8_t>* buffer, std::string file, uint32_t width,
                        uint32_t height, int bits) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(Job{buffer, std::move(file), width, height, bits});
    }
    wake_.notify_one();
}

void WriterPool::release(std::vector<uint8_t>* buffer) {
    {
        std::lock_guard lock(mutex_);
        free_.push_back(buffer);
        --reserved_;
    }
    room_.notify_one();
}

void WriterPool::work() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return !queue_.empty() || stopping_; });
            if (queue_.empty()) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        const std::string error =
            writePicture(job.file, Picture{job.buffer->data(), job.width, job.height, job.bits},
                         format_, pngLevel_);
        {
            std::lock_guard lock(mutex_);
            if (error.empty())
                ++saved_;
            else if (error_.empty())
                error_ = error;
            free_.push_back(job.buffer);
            --reserved_;
        }
        room_.notify_all();
    }
}

void WriterPool::finish() {
    {
        std::lock_guard lock(mutex_);
        if (stopping_ && threads_.empty()) return;
        stopping_ = true;
    }
    wake_.notify_all();
    room_.notify_all();
    for (std::thread& t : threads_)
        t.join();
    threads_.clear();
}

uint64_t WriterPool::saved() const {
    std::lock_guard lock(mutex_);
    return saved_;
}

std::size_t WriterPool::waiting() const {
    std::lock_guard lock(mutex_);
    return reserved_;
}

std::string WriterPool::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

} // namespace pellvane::tools
