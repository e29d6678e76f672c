// Saves pictures beside the acquisition: a few threads write files from a bounded queue, so
// that a slow disk or encoder shows up as a full queue (and lost pictures, counted) instead of
// memory that grows without end.
#pragma once

#include "PictureWriter.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pellvane::tools {

class WriterPool {
public:
    // `threads` writers (at least one) and at most `capacity` pictures waiting (at least one).
    WriterPool(unsigned threads, std::size_t capacity, PictureFormat format,
               int pngLevel = kFastPng);
    ~WriterPool();
    WriterPool(const WriterPool&) = delete;
    WriterPool& operator=(const WriterPool&) = delete;

    // Sizes every buffer for pictures of `bytes` bytes now, so that no memory is taken (and
    // touched for the first time) while acquiring.
    void prepare(std::size_t bytes);

    // A buffer of `bytes` bytes to copy a picture into, once a place in the queue is free; null
    // when none became free within `waitMs` milliseconds or after a write failed.
    std::vector<uint8_t>* reserve(std::size_t bytes, int waitMs);
    // Queues the reserved buffer, now holding a picture, for writing to `file`.
    void submit(std::vector<uint8_t>* buffer, std::string file, uint32_t width, uint32_t height,
                int bits);
    // Gives a reserved buffer back unused (the picture in it was overwritten while copying).
    void release(std::vector<uint8_t>* buffer);

    // Writes what is queued and stops the threads; the counts are final afterwards.
    void finish();

    uint64_t saved() const;
    std::size_t waiting() const;
    std::size_t capacity() const { return capacity_; }
    // The first write failure, or "".
    std::string error() const;

private:
    struct Job {
        std::vector<uint8_t>* buffer;
        std::string file;
        uint32_t width, height;
        int bits;
    };
    void work();

    const std::size_t capacity_;
    const PictureFormat format_;
    const int pngLevel_;
    mutable std::mutex mutex_;
    std::condition_variable wake_, room_;
    std::deque<Job> queue_;
    std::vector<std::unique_ptr<std::vector<uint8_t>>> buffers_;
    std::vector<std::vector<uint8_t>*> free_;
    std::size_t reserved_ = 0; // buffers handed out or queued
    uint64_t saved_ = 0;
    std::string error_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace pellvane::tools
