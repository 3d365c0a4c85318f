/*
 * The block the text lives in: a range of address space reserved once,
 * with no memory behind it, whose pages are made writable as the text
 * grows into them. The addresses never move, so every position into the
 * text stays valid however large it grows; memory is used for the pages
 * the text has touched, not for the reservation.
 */
#include "store/store.h"

#include <algorithm>
#include <cstdio>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <unistd.h>

static size_t mapped_length;        // the whole reservation, in bytes
static size_t text_room;            // store_top() - store_bottom()
static byte* writable_lo;           // [writable_lo, writable_hi): pages made writable
static byte* writable_hi;

static uintptr_t page_size()
{
    static uintptr_t size = uintptr_t(sysconf(_SC_PAGESIZE));
    return size;
}

static byte* page_below(byte* p)
{
    return reinterpret_cast<byte*>(reinterpret_cast<uintptr_t>(p) & ~(page_size() - 1));
}

static byte* page_above(byte* p)
{
    return page_below(p + page_size() - 1);
}

static byte* mapped_end()
{
    return store_block + mapped_length;
}

void release_store()
{
    if (store_block)
        munmap(store_block, mapped_length);
    store_block = text_begin = text_end = nullptr;
    writable_lo = writable_hi = nullptr;
    mapped_length = text_room = 0;
}

bool allocate_store(size_t bytes)
{
    size_t length = (bytes + 2 + page_size() - 1) & ~(page_size() - 1);
    void* block = mmap(nullptr, length, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block == MAP_FAILED)
        return false;
    release_store();
    store_block = static_cast<byte*>(block);
    mapped_length = length;
    text_room = bytes;
    text_capacity = uint32_t(std::min<size_t>(bytes, UINT32_MAX));
    if (!make_writable(store_block, store_block + std::min<size_t>(length, 4))) {
        release_store();
        return false;
    }
    text_begin = text_end = store_block + 2;
    store_block[0] = store_block[1] = 0;
    return true;
}

// The pages in use now, from the kernel's count of this process's mapping.
static uint64_t address_space_in_use()
{
    FILE* f = fopen("/proc/self/statm", "r");
    unsigned long pages = 0;
    if (f) {
        if (fscanf(f, "%lu", &pages) != 1)
            pages = 0;
        fclose(f);
    }
    return uint64_t(pages) * page_size();
}

size_t store_size_for_machine()
{
    const uint64_t floor = 0x8000, ceiling = std::min<uint64_t>(uint64_t(1) << 40, SIZE_MAX / 4);
    uint64_t want = ceiling;
    struct rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        // the history may come to the text's size, and a paste is held
        // twice on its way in: a third of what is left goes to the text
        uint64_t used = address_space_in_use();
        want = limit.rlim_cur > used ? (limit.rlim_cur - used) / 3 : 0;
    } else {
        struct sysinfo info;
        if (sysinfo(&info) == 0)
            want = (uint64_t(info.totalram) + info.totalswap) * info.mem_unit;
    }
    return size_t(std::clamp(want, floor, ceiling));
}

size_t store_room()
{
    return text_room - size_t(text_end - text_begin);
}

byte* store_bottom()
{
    return store_block + 2;
}

byte* store_top()
{
    return store_block + 2 + text_room;
}

// How far beyond what is asked the writable pages grow at once: enough
// that typing does not ask the system on every page.
static size_t growth()
{
    size_t now = size_t(writable_hi - writable_lo);
    return std::max<size_t>(64 << 10, now / 8);
}

/*
 * Made writable: the pages of [lo, hi), with some more on the side that
 * grows, or exactly those pages when the system cannot give more.
 */
bool make_writable(byte* lo, byte* hi)
{
    if (lo >= writable_lo && hi <= writable_hi)
        return true;
    byte* from = page_below(std::max(lo, store_block));
    byte* to = page_above(std::min(hi, mapped_end()));
    if (writable_lo < writable_hi) {
        from = std::min(from, writable_lo);
        to = std::max(to, writable_hi);
    }
    byte* wide_from = from < writable_lo ? page_below(std::max(from - growth(), store_block)) : from;
    byte* wide_to = to > writable_hi ? std::min(page_above(to + growth()), mapped_end()) : to;
    for (int attempt = 0; attempt < 2; attempt++) {
        byte* a = attempt == 0 ? wide_from : from;
        byte* b = attempt == 0 ? wide_to : to;
        if (mprotect(a, size_t(b - a), PROT_READ | PROT_WRITE) == 0) {
            writable_lo = a;
            writable_hi = b;
            return true;
        }
    }
    return false;
}

// Gives the memory of the pages back and makes them unwritable again.
void give_back_memory()
{
    if (writable_lo < writable_hi) {
        madvise(writable_lo, size_t(writable_hi - writable_lo), MADV_DONTNEED);
        mprotect(writable_lo, size_t(writable_hi - writable_lo), PROT_NONE);
    }
    writable_lo = writable_hi = nullptr;
}

bool expect_bulk_write(byte* lo, byte* hi)
{
    if (!make_writable(lo, hi))
        return false;
#ifdef MADV_POPULATE_WRITE
    byte* from = page_below(lo);
    byte* to = page_above(hi);
    if (to >= from + 16 * page_size())
        madvise(from, size_t(to - from), MADV_POPULATE_WRITE);
#endif
    return true;
}
