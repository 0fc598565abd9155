// The triangle queue and the drawing worker behind RasterBatch.
#include "raster/raster_batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/system.h"
#include "raster/raster.h"
#include "raster/row_walk.h"

#if defined(__EMSCRIPTEN__)
#define KV_RASTER_THREADS 0
#else
#define KV_RASTER_THREADS 1
#include <condition_variable>
#include <mutex>
#include <thread>
#endif
#if KV_X86_EXTENSIONS
#include <immintrin.h>
#endif

namespace {

// The batch as the calling thread sees it.
struct BatchState {
  bool open = false;
  bool viaWorker = false;
  RasterBatchMode mode = RasterBatchMode::kBanded;
  bool inOrderPending = false;  // whole triangles queued since the last wait
  bool banded = false;          // a triangle was shared by rows
  // Targets drawn into since the batch opened; a textured triangle reading
  // one of them cannot be banded. Past the last slot every triangle goes
  // whole.
  static constexpr int kTargets = 8;
  const uint32_t* targetBegin[kTargets];
  const uint32_t* targetEnd[kTargets];
  int targets = 0;
  bool targetsOverflowed = false;
  int site = 0;               // whose share of the rows this batch uses
  uint32_t workerBands = 0;   // the rows the worker draws of banded triangles
  int64_t sharingSince = -1;  // when rows were first shared since the last wait
  int64_t idleBefore = 0;     // the worker's idle time then
};
thread_local BatchState Batch;

int FixedShare = -1;  // the calling thread's share of the rows, 0..32 when fixed

#if KV_RASTER_THREADS

constexpr uint32_t BandsFor(int ownShare) {
  // Spread evenly: band g goes to the worker when the running count of the
  // worker's share passes a whole number there.
  const int workerShare = 32 - ownShare;
  uint32_t bands = 0;
  for (int g = 0; g < 32; ++g)
    if ((g + 1) * workerShare / 32 > g * workerShare / 32) bands |= 1u << g;
  return bands;
}

// The calling thread's share of the rows in banded batches, in 32nds, kept
// for each place that opens batches (their drawing and their geometry
// differ). Unless fixed, the share follows the work: at the first wait for
// the worker after sharing rows, if the worker had been idle a while since
// the rows were first shared, this thread kept too many (the worker waited
// for its triangles) and gives up one; if not, a long wait takes one more.
//
// When the calling thread waits for the worker with nothing left to queue,
// it takes a share of the worker's rows of the triangles not yet begun
// (see Worker::Finish), also kept per place: it gives up one if the worker
// then waited for it, and takes one more if it waited for the worker.
struct ShareSite {
  const void* where;
  int ownShare;
  int helpShare;
};
constexpr int kSites = 16;  // more places share the last entry
ShareSite Sites[kSites];
int SitesUsed = 0;
constexpr int kFirstShare = 8;
constexpr int kFirstHelpShare = 16;

int SiteOf(const void* where) {
  for (int i = 0; i < SitesUsed; ++i)
    if (Sites[i].where == where) return i;
  if (SitesUsed == kSites) return kSites - 1;
  Sites[SitesUsed] = ShareSite{where, kFirstShare, kFirstHelpShare};
  return SitesUsed++;
}

int64_t NowNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// One queued triangle, self-contained: the caller's vertex records and
// material may change as soon as DrawTriangle returns. Of the material only
// what the set-up and the spans read is kept (the opacity comes as the
// selection's row), so that a triangle fills three cache lines: each is
// written on one core and read on the other.
//
// A slot may also hold a fill of a buffer, queued in order with the
// triangles.
//
// A triangle whose rows may be split is queued as kTriangle. The worker
// takes it (kTriangleTaken) when it comes to it, unless the calling thread,
// waiting with nothing left to queue, has claimed it first
// (kTriangleShared): then each draws a share of the rows the worker would
// have drawn. Each job word changes only by compare-and-swap while queued, so a
// triangle is the worker's alone or shared, never both.
enum QueuedJob : int16_t {
  kTriangle,
  kTriangleTaken,
  kTriangleShared,
  kTriangleWhole,  // reads what the batch drew: drawn by one thread
  kTriangleWithoutVertices,
  kFill,
  kRows,
};
struct QueuedFill {  // the words are those of target.colour
  uint32_t count;
  uint32_t value;
};

// Rows shared by the calling thread and the worker, kept in the queue slot:
// each thread takes the next piece until none are left. The caller waits
// only until every row taken is done; the slot stays the worker's to look
// at until it has passed it, and a worker that comes to it after the last
// piece was taken touches nothing else. The addresses are kept as bytes and
// the counters as plain words, read through atomic references, so that the
// slot keeps its layout.
struct QueuedRows {
  unsigned char rows[sizeof(void (*)(void*, int, int))];
  unsigned char context[sizeof(void*)];
  int32_t count;
  int32_t piece;
  int32_t next;  // the first row nobody has taken
  int32_t done;  // rows finished

  void Run() {
    void (*function)(void*, int, int);
    void* data;
    std::atomic_ref<int32_t> taken(next), finished(done);
    for (;;) {
      const int32_t first = taken.fetch_add(piece, std::memory_order_relaxed);
      if (first >= count) return;
      // Read only once a piece is ours: the caller's context lives while
      // any piece is left or being drawn.
      std::memcpy(&function, rows, sizeof function);
      std::memcpy(&data, context, sizeof data);
      const int32_t end = std::min(first + piece, count);
      function(data, first, end);
      finished.fetch_add(end - first, std::memory_order_release);
    }
  }
};

struct alignas(64) QueuedTriangle {
  union {
    ScreenVertex v[3];
    QueuedFill fill;  // for kFill
    QueuedRows rows;  // for kRows
  };
  int32_t mode;
  int32_t uShift, uMask, vShift, vMask;
  const uint32_t* texels;
  RenderTarget target;
  uint32_t skippedBands;  // the worker's; 0 draws the whole triangle
  // The mode selection the show's thread has for the triangle, made as a
  // direct draw would make it: the worker takes it whatever its own.
  int32_t selectedMode;
  int16_t opacityLevel;  // the opacity row's index, -1 for none
  QueuedJob job;
  uint32_t shadowLimit;
  const uint32_t* shadowStamps;
};
static_assert(sizeof(QueuedTriangle) == 192, "three cache lines");

constexpr uint32_t kQueueLength = 1024;  // a power of two

constexpr int64_t kIdleLimit = 30000;  // ns
constexpr int64_t kWaitLimit = 30000;
constexpr int64_t kHelpSlack = 5000;  // ns

void Rebalance(int site, int64_t idle, int64_t wait) {
  int& share = Sites[site].ownShare;
  if (idle > kIdleLimit && share > 1)
    --share;
  else if (idle <= kIdleLimit && wait > kWaitLimit && share < 32)
    ++share;
}

// The bands the calling thread draws of every triangle it shares: the first
// share bands of 32, the top rows. One set for all of them, so that each
// row is drawn by one thread only, in order.
constexpr uint32_t CallerBands(int share) { return share >= 32 ? ~0u : (1u << share) - 1; }

// About half a millisecond of pauses.
constexpr int kSpinLimit = 20000;

inline void Pause() {
#if KV_X86_EXTENSIONS
  _mm_pause();
#endif
}

struct Worker {
  QueuedTriangle queue[kQueueLength];
  // Each counter on a cache line of its own: the caller writes head, the
  // worker tail, and neither should pull the other's line at every write.
  alignas(64) std::atomic<uint64_t> head{0};  // triangles handed over
  alignas(64) std::atomic<uint64_t> tail{0};  // triangles drawn
  alignas(64) std::atomic<bool> sleeping{false};
  // The worker's time spent waiting for triangles: the total of the waits
  // that ended, and when the current one began (-1 while drawing).
  alignas(64) std::atomic<int64_t> idleNanos{0};
  std::atomic<int64_t> idleSince{-1};
  std::atomic<int64_t> countFrom{0};  // idle time before this is not counted
  // The bands the calling thread draws of the triangles it shares, set
  // before it claims any.
  std::atomic<uint32_t> callerBands{0};
  // The caller's own counts: queued (handed over in groups) and the last
  // tail it read.
  alignas(64) uint64_t queued = 0;
  uint64_t drawnSeen = 0;
  std::mutex lock;
  std::condition_variable wake;
  RasterStateRecord* state = nullptr;  // the worker's own rasterizer state
  std::atomic<bool> ready{false};

  void Run() {
    state = &RasterState;
    ready.store(true, std::memory_order_release);
    uint64_t t = 0;
    uint64_t lastShared = ~uint64_t{0};  // the last shared triangle drawn
    Material material{};
    for (;;) {
      uint64_t h = head.load(std::memory_order_acquire);
      if (h == t) h = WaitForWork(t);
      for (; t < h; ++t) {
        QueuedTriangle& q = queue[t & (kQueueLength - 1)];
        std::atomic_ref<QueuedJob> word(q.job);
        QueuedJob job = word.load(std::memory_order_acquire);
        if (job == kTriangle &&
            word.compare_exchange_strong(job, kTriangleTaken, std::memory_order_acq_rel))
          job = kTriangleTaken;
        if (job == kFill) {
          std::fill_n(q.target.colour, q.fill.count, q.fill.value);
        } else if (job == kRows) {
          q.rows.Run();
        } else if (job == kTriangleShared) {
          // The calling thread starts on its rows once everything before
          // the first shared triangle is drawn: it is told so at once.
          if (lastShared + 1 != t) tail.store(t, std::memory_order_release);
          lastShared = t;
          Draw(q, true, q.skippedBands | callerBands.load(std::memory_order_relaxed), material);
        } else {
          Draw(q, job != kTriangleWithoutVertices, q.skippedBands, material);
        }
        // Told in groups too; the last of a group always.
        if (((t + 1) & 15) == 0 || t + 1 == h) tail.store(t + 1, std::memory_order_release);
      }
    }
  }

  // Draws the slot's triangle with the calling thread's state, skipping the
  // bands given. The slot is only read: the set-up works on a copy of the
  // corners, as two threads may draw one triangle.
  static void Draw(const QueuedTriangle& q, bool withVertices, uint32_t skippedBands,
                   Material& material) {
    RasterStateRecord& s = RasterState;
    ScreenVertex v[3];
    if (withVertices) std::copy(q.v, q.v + 3, v);
    s.v0 = withVertices ? &v[0] : nullptr;
    s.v1 = withVertices ? &v[1] : nullptr;
    s.v2 = withVertices ? &v[2] : nullptr;
    material.mode = q.mode;
    material.uShift = q.uShift;
    material.uMask = q.uMask;
    material.vShift = q.vShift;
    material.vMask = q.vMask;
    material.texels = q.texels;
    s.material = &material;
    s.target = q.target;
    s.skippedBands = skippedBands;
    s.shadowStamps = q.shadowStamps;
    s.shadowLimit = q.shadowLimit;
    if (s.mode != q.selectedMode || s.selectedSet != &ActiveSpans())
      SelectRenderMode(q.selectedMode);
    s.opacityRow = q.opacityLevel < 0 ? nullptr : MulTable + q.opacityLevel * 256;
    DrawTriangleHere();
  }

  // Spins a while (the next triangles usually follow within microseconds),
  // then sleeps until the caller hands more over.
  uint64_t WaitForWork(uint64_t t) {
    const int64_t began = NowNanos();
    idleSince.store(began, std::memory_order_relaxed);
    const uint64_t h = AwaitHead(t);
    idleSince.store(-1, std::memory_order_relaxed);
    const int64_t from = std::max(began, countFrom.load(std::memory_order_relaxed));
    const int64_t ended = NowNanos();
    if (ended > from) idleNanos.fetch_add(ended - from, std::memory_order_relaxed);
    return h;
  }

  uint64_t AwaitHead(uint64_t t) {
    for (int i = 0; i < kSpinLimit; ++i) {
      const uint64_t h = head.load(std::memory_order_acquire);
      if (h != t) return h;
      Pause();
      // Now and then the processor is offered to others: should the caller
      // share this one, it must not wait out the spinning.
      if ((i & 255) == 255) std::this_thread::yield();
    }
    std::unique_lock<std::mutex> hold(lock);
    sleeping.store(true, std::memory_order_seq_cst);
    uint64_t h;
    while ((h = head.load(std::memory_order_seq_cst)) == t) wake.wait(hold);
    sleeping.store(false, std::memory_order_relaxed);
    return h;
  }

  // The caller's side: a free slot, waiting for the worker when the queue
  // is full.
  QueuedTriangle& Slot() {
    if (queued - drawnSeen >= kQueueLength) {
      HandOver();
      WaitUntilDrawn(queued + 1 - kQueueLength);
    }
    // The slots were last read on the worker's core: ask for the lines a few
    // triangles early rather than wait for each one when it is written.
    const char* ahead = reinterpret_cast<const char*>(&queue[(queued + 16) & (kQueueLength - 1)]);
    for (int line = 0; line < 192; line += 64) __builtin_prefetch(ahead + line, 1);
    return queue[queued & (kQueueLength - 1)];
  }

  // Queues the slot filled; the worker learns of it with the next group of
  // 16 or at the next hand-over.
  void Queue() {
    ++queued;
    if ((queued & 15) == 0) HandOver();
  }

  void HandOver() {
    if (head.load(std::memory_order_relaxed) == queued) return;
    head.store(queued, std::memory_order_seq_cst);
    if (sleeping.load(std::memory_order_seq_cst)) {
      std::lock_guard<std::mutex> hold(lock);
      wake.notify_one();
    }
  }

  // Waits for everything queued and returns how long it waited, not
  // counting what it drew meanwhile. Rather than only wait, the calling
  // thread claims the triangles at the end of the queue the worker has not
  // begun, as far back as they may be shared, and once everything before
  // them is drawn, draws its share of their worker rows in order beside the
  // worker. The share then moves towards the one where neither waits for
  // the other.
  int64_t Finish(int& share) {
    const int64_t arrived = NowNanos();
    const uint64_t end = queued;
    HandOver();
    const uint32_t bands = CallerBands(share);
    callerBands.store(bands, std::memory_order_relaxed);
    uint64_t first = end;
    const uint64_t drawn = tail.load(std::memory_order_acquire);
    while (first > drawn) {
      std::atomic_ref<QueuedJob> word(queue[(first - 1) & (kQueueLength - 1)].job);
      QueuedJob job = kTriangle;
      if (!word.compare_exchange_strong(job, kTriangleShared, std::memory_order_acq_rel)) break;
      --first;
    }
    if (first == end) {
      WaitUntilDrawn(end);
      return NowNanos() - arrived;
    }
    WaitUntilDrawn(first);
    const int64_t began = NowNanos();
    const RasterStateRecord kept = RasterState;
    Material material{};
    for (uint64_t t = first; t < end; ++t) {
      const QueuedTriangle& q = queue[t & (kQueueLength - 1)];
      Draw(q, true, q.skippedBands | ~bands, material);
    }
    RasterState = kept;
    const int64_t done = NowNanos();
    const int64_t since = idleSince.load(std::memory_order_relaxed);
    WaitUntilDrawn(end);
    const int64_t waited = NowNanos() - done;
    const int64_t workerWaited = since >= 0 && since < done ? done - since : 0;
    if (workerWaited > waited + kHelpSlack && share > 1)
      --share;
    else if (waited > workerWaited + kHelpSlack && share < 31)
      ++share;
    return began - arrived + waited;
  }

  void WaitUntilDrawn(uint64_t count) {
    HandOver();
    for (uint32_t spins = 0; drawnSeen < count; ++spins) {
      drawnSeen = tail.load(std::memory_order_acquire);
      if (drawnSeen >= count) break;
      Pause();
      if ((spins & 255) == 255) std::this_thread::yield();
    }
  }
};

Worker* TheWorker = nullptr;  // made on first use, never freed
bool WorkerWanted = true;

Worker* GetWorker() {
  if (!WorkerWanted) return nullptr;
  if (TheWorker) return TheWorker;
  if (std::thread::hardware_concurrency() < 2) {
    WorkerWanted = false;
    return nullptr;
  }
  Worker* w = new Worker;
  try {
    std::thread([w] { w->Run(); }).detach();
  } catch (...) {
    delete w;
    WorkerWanted = false;
    return nullptr;
  }
  while (!w->ready.load(std::memory_order_acquire)) std::this_thread::yield();
  TheWorker = w;
  return w;
}

// The share of the worker's rows this thread takes at a wait: its place's,
// or a fixed share's copy, which stays as it is.
int& HelpShare(const BatchState& b) {
  static int fixed;
  if (FixedShare < 0) return Sites[b.site].helpShare;
  fixed = FixedShare;
  return fixed;
}

// Waits for everything queued.
void Drain() {
  Worker* w = TheWorker;
  // The first wait after sharing rows tells whether they were shared
  // fairly, unless the worker also has whole triangles to draw: then it says
  // nothing of the rows.
  BatchState& b = Batch;
  if (b.banded && !b.inOrderPending && FixedShare < 0) {
    const int64_t arrived = NowNanos();
    int64_t idle = w->idleNanos.load(std::memory_order_relaxed) - b.idleBefore;
    const int64_t since = w->idleSince.load(std::memory_order_relaxed);
    if (since >= 0) idle += arrived - std::max(since, b.sharingSince);
    // The wait counts without the rows drawn here meanwhile.
    Rebalance(b.site, idle, w->Finish(HelpShare(b)));
  }
  if (!b.inOrderPending) {
    b.banded = false;
    b.sharingSince = -1;
  }
  w->Finish(HelpShare(b));
  b.inOrderPending = false;
}

bool WithinTarget(const BatchState& b, const uint32_t* texels) {
  if (b.targetsOverflowed) return true;
  for (int i = 0; i < b.targets; ++i)
    if (texels >= b.targetBegin[i] && texels < b.targetEnd[i]) return true;
  return false;
}

void NoteWritten(BatchState& b, const uint32_t* begin, const uint32_t* end) {
  for (int i = 0; i < b.targets; ++i)
    if (b.targetBegin[i] == begin && b.targetEnd[i] == end) return;
  if (b.targets == BatchState::kTargets) {
    b.targetsOverflowed = true;
    return;
  }
  b.targetBegin[b.targets] = begin;
  b.targetEnd[b.targets] = end;
  ++b.targets;
}

void NoteTarget(BatchState& b, const RenderTarget& t) {
  if (!t.colour || t.pitch <= 0 || t.height <= 0) return;
  NoteWritten(b, t.colour, t.colour + static_cast<long>(t.pitch) * t.height);
}

// Copies the triangle handed over in s, and the selection s has for it,
// into a queue slot. Its rows may be split between the threads unless it
// reads what the batch drew.
QueuedTriangle& Fill(QueuedTriangle& q, const RasterStateRecord& s, const Material& m,
                     uint32_t skippedBands, bool readsDrawn) {
  const bool withVertices = s.v0 && s.v1 && s.v2;
  q.job = !withVertices ? kTriangleWithoutVertices : readsDrawn ? kTriangleWhole : kTriangle;
  if (withVertices) {
    q.v[0] = *s.v0;
    q.v[1] = *s.v1;
    q.v[2] = *s.v2;
  }
  q.mode = m.mode;
  q.uShift = m.uShift;
  q.uMask = m.uMask;
  q.vShift = m.vShift;
  q.vMask = m.vMask;
  q.texels = m.texels;
  q.target = s.target;
  q.skippedBands = skippedBands;
  q.selectedMode = s.mode;
  q.opacityLevel = s.opacityRow ? static_cast<int16_t>((s.opacityRow - MulTable) / 256) : -1;
  q.shadowStamps = s.shadowStamps;
  q.shadowLimit = s.shadowLimit;
  return q;
}

// Whether the triangle covers a row of the bands, its rows found as the
// set-up finds them (a y above row 1 taken as 0). In doubt, it does.
bool ReachesBands(const RasterStateRecord& s, uint32_t bands) {
  if (!s.v0 || !s.v1 || !s.v2) return true;
  float lo = std::min(s.v0->y, std::min(s.v1->y, s.v2->y));
  float hi = std::max(s.v0->y, std::max(s.v1->y, s.v2->y));
  if (std::isnan(s.v0->y) || std::isnan(s.v1->y) || std::isnan(s.v2->y)) return true;
  if (lo < 1.0f) lo = 0.0f;
  if (hi < 1.0f) hi = 0.0f;
  const int32_t first = CeilWithin(lo, 0, s.target.height);
  const int32_t end = CeilWithin(hi, 0, s.target.height);
  return first < end && !AllRowsSkipped(~bands, first, end);
}

#endif  // KV_RASTER_THREADS

}  // namespace

void RasterBatchBegin(RasterBatchMode mode) {
  BatchState& b = Batch;
  if (b.open) RasterBatchEnd();
  b.open = true;
  b.mode = mode;
  b.targets = 0;
  b.targetsOverflowed = false;
  b.inOrderPending = false;
  b.banded = false;
  b.viaWorker = false;
  b.sharingSince = -1;
#if KV_RASTER_THREADS
  // Where the batch is opened from: each place keeps its own share.
  b.site = SiteOf(__builtin_return_address(0));
  b.workerBands = BandsFor(FixedShare >= 0 ? FixedShare : Sites[b.site].ownShare);
  if (Worker* w = GetWorker()) {
    InitRasterizer();
    // The worker is idle between batches: it starts from this thread's
    // state, so its cached selection is the one a direct draw would find.
    *w->state = RasterState;
    b.viaWorker = true;
  }
#endif
}

void RasterBatchSetMode(RasterBatchMode mode) { Batch.mode = mode; }

void RasterBatchFinish() {
#if KV_RASTER_THREADS
  if (Batch.open && Batch.viaWorker) Drain();
#endif
}

void RasterBatchEnd() {
  BatchState& b = Batch;
  if (!b.open) return;
  RasterBatchFinish();
  RasterState.skippedBands = 0;
  b.open = false;
  b.viaWorker = false;
}

void RasterBatchEnableWorker(bool on) {
#if KV_RASTER_THREADS
  WorkerWanted = on && (TheWorker || std::thread::hardware_concurrency() >= 2);
#else
  (void)on;
#endif
}

bool RasterBatchUsesWorker() {
#if KV_RASTER_THREADS
  return WorkerWanted;
#else
  return false;
#endif
}

void RasterBatchSetOwnShare(int thirtySeconds) {
  FixedShare = thirtySeconds < 0 ? -1 : thirtySeconds > 32 ? 32 : thirtySeconds;
#if KV_RASTER_THREADS
  // Following the work again, every place starts afresh.
  if (FixedShare < 0) SitesUsed = 0;
#endif
}

void RasterBatchFill(void* words, uint32_t value, size_t count) {
  uint32_t* const first = static_cast<uint32_t*>(words);
  if (count == 0) return;
#if KV_RASTER_THREADS
  BatchState& b = Batch;
  if (b.open && b.viaWorker) {
    // Queued in order in either mode: banded triangles after it wait for it
    // as for any job in order. The worker is told at once, to fill while
    // this thread works out what comes next.
    Worker* w = TheWorker;
    constexpr size_t kMost = size_t{1} << 30;  // words a slot holds
    for (size_t done = 0; done < count; done += kMost) {
      QueuedTriangle& q = w->Slot();
      q.job = kFill;
      q.target.colour = first + done;
      q.fill = QueuedFill{static_cast<uint32_t>(std::min(kMost, count - done)), value};
      w->Queue();
    }
    w->HandOver();
    b.inOrderPending = true;
    NoteWritten(b, first, first + count);
    return;
  }
#endif
  std::fill_n(first, count, value);
}

void RasterBatchShareRows(int count, int piece, void (*rows)(void* context, int first, int end),
                          void* context, SharedRowsRead reads) {
  if (count <= 0) return;
  if (piece < 1) piece = 1;
#if KV_RASTER_THREADS
  BatchState& b = Batch;
  Worker* w = b.open ? (b.viaWorker ? TheWorker : nullptr) : GetWorker();
  if (w != nullptr && count > piece) {
    // Rows that may read what the queued triangles draw wait for them;
    // others go on at once, and the worker joins once it gets there.
    if (b.open && reads == SharedRowsRead::kDrawn) Drain();
    QueuedTriangle& slot = w->Slot();
    slot.job = kRows;
    QueuedRows& job = slot.rows;
    std::memcpy(job.rows, &rows, sizeof rows);
    std::memcpy(job.context, &context, sizeof context);
    job.count = count;
    job.piece = piece;
    job.next = 0;
    job.done = 0;
    w->Queue();
    w->HandOver();
    job.Run();
    std::atomic_ref<int32_t> finished(job.done);
    for (uint32_t spins = 1; finished.load(std::memory_order_acquire) < count; ++spins) {
      Pause();
      if ((spins & 255) == 0) std::this_thread::yield();
    }
    return;
  }
#endif
  (void)reads;
  rows(context, 0, count);
}

void DrawTriangle() {
  BatchState& b = Batch;
  RasterStateRecord& s = RasterState;
#if KV_RASTER_THREADS
  if (b.open && b.viaWorker && s.material) {
    Worker* w = TheWorker;
    const Material& m = *s.material;
    // The selection is made here as a direct draw would make it, whoever
    // draws the triangle: the worker is handed it with the triangle.
    if (m.mode != s.mode || s.selectedSet != &ActiveSpans()) SelectRenderMode(m.mode);
    const bool textured = m.mode != RM_SILHOUETTE && m.texels;
    RasterBatchMode mode = b.mode;
    if (mode == RasterBatchMode::kBanded && textured && WithinTarget(b, m.texels))
      mode = RasterBatchMode::kInOrder;
    NoteTarget(b, s.target);
    if (mode == RasterBatchMode::kInOrder) {
      // Its own target counts too: a triangle reading the texture it draws
      // into is never split.
      Fill(w->Slot(), s, m, 0, textured && WithinTarget(b, m.texels));
      w->Queue();
      b.inOrderPending = true;
      return;
    }
    // Banded: this thread's rows at once (after the whole triangles queued
    // before, which may cover them), then the worker's if the triangle
    // reaches any. It is copied before the draw here moves a y to row 0.
    if (b.inOrderPending) Drain();
    if (!b.banded) {
      b.banded = true;
      b.sharingSince = NowNanos();
      w->countFrom.store(b.sharingSince, std::memory_order_relaxed);
      b.idleBefore = w->idleNanos.load(std::memory_order_relaxed);
    }
    const uint32_t workerBands = b.workerBands;
    const bool theirs = workerBands != 0 && ReachesBands(s, workerBands);
    if (theirs) Fill(w->Slot(), s, m, ~workerBands, false);
    s.skippedBands = workerBands;
    DrawTriangleHere();
    if (theirs) w->Queue();
    return;
  }
#endif
  (void)b;
  s.skippedBands = 0;
  DrawTriangleHere();
}
