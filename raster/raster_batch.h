// Triangle batches: the show's thread hands the filling of a stretch of 3D
// drawing to a worker thread on the second core and goes on meanwhile with
// what comes next (clipping, projecting, sorting the next pass).
//
// Between RasterBatchBegin and RasterBatchEnd every DrawTriangle of the
// calling thread is copied (its three vertices, its material, its target)
// into a queue the worker draws from, in the order queued. A triangle is
// shared in one of two ways:
//  - banded: the calling thread draws its own bands of rows at once and the
//    worker the other rows later. Each pixel belongs to one thread, so the
//    order of the triangles on a pixel is kept. A triangle reading texels
//    that an earlier one of the batch drew into is drawn whole by the worker
//    instead.
//  - in order: the worker draws the whole triangle; the calling thread only
//    queues it. Any triangle may read what an earlier one drew.
// When the calling thread has to wait for the worker, it does not only
// wait: it takes the top bands of the rows the worker would draw of the
// triangles at the end of the queue that the worker has not begun, and
// draws them in order beside it, once everything before them is drawn. A
// triangle reading what the batch drew is left whole to the worker.
// The calling thread must not touch a buffer the queued triangles draw into,
// nor change a texture they read, until RasterBatchFinish or RasterBatchEnd
// returns. Every pixel comes out exactly as it would without a batch, and
// the rasterizer's cached mode selection ends the same too. Only a triangle
// queued in order leaves the caller's vertex records as they were (drawn at
// once, a y above row 1 is written back as 0).
//
// A triangle's shadow stamps and limit go with it. The stamps are read when
// the triangle is drawn: StampShadowFan may stamp more meanwhile, provided
// it stamps in increasing order past every limit queued, so that only later
// triangles see them.
//
// Without a worker (switched off, one processor, or a build without
// threads) a batch draws every triangle at once on the calling thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

enum class RasterBatchMode { kBanded, kInOrder };

void RasterBatchBegin(RasterBatchMode mode);
// Changes how the following triangles are shared; a banded triangle after
// triangles queued in order first waits for those to be drawn.
void RasterBatchSetMode(RasterBatchMode mode);
// Waits until everything queued is drawn; the batch stays open.
void RasterBatchFinish();
// Finishes and closes the batch.
void RasterBatchEnd();

// Sets count 32-bit words from words to value, in order with the triangles:
// a batch with the worker queues the fill as a job in order (in a banded
// batch too: the banded triangles after it wait for it), and the calling
// thread goes on at once while the worker fills. Outside a batch, or
// without the worker, the words are set at once. The
// same rule holds for the words as for a target: the calling thread leaves
// them alone until the batch is finished.
void RasterBatchFill(void* words, uint32_t value, size_t count);

// What shared rows read: what triangles queued before them draw (the rows
// then wait for those), or nothing they draw.
enum class SharedRowsRead { kDrawn, kNothingDrawn };
// Runs rows(context, first, end) over the rows 0 .. count - 1, in pieces of
// piece rows that the calling thread and the worker take in turn, each as it
// finishes its last; returns when every row is done. No row may read what
// another writes. Inside a batch the rows come after what is queued: with
// kDrawn they wait for it to be drawn; with kNothingDrawn the calling thread
// starts at once and the worker joins once it has drawn what came before.
// Without the worker the calling thread runs them all.
void RasterBatchShareRows(int count, int piece, void (*rows)(void* context, int first, int end),
                          void* context, SharedRowsRead reads = SharedRowsRead::kDrawn);
template <class Rows>
void ShareRows(int count, int piece, Rows&& rows, SharedRowsRead reads = SharedRowsRead::kDrawn) {
  using Body = std::remove_reference_t<Rows>;
  RasterBatchShareRows(
      count, piece,
      [](void* context, int first, int end) { (*static_cast<Body*>(context))(first, end); }, &rows,
      reads);
}

// Whether batches use the worker (on by default where there are at least two
// processors). Switch only while no batch is open.
void RasterBatchEnableWorker(bool on);
bool RasterBatchUsesWorker();

// Share of the rows the calling thread keeps in banded batches, in 32nds
// (the rest go to the worker); negative lets it follow the work, as it does
// at first, separately for each place in the program that opens batches.
// Fixed, it is also the share of the worker's rows the calling thread takes
// when it waits for the worker: the first that many bands of 8 rows of the
// triangles the worker has not begun. Changing it never changes a pixel.
void RasterBatchSetOwnShare(int thirtySeconds);

// A batch for the length of a block.
class RasterBatch {
 public:
  explicit RasterBatch(RasterBatchMode mode) { RasterBatchBegin(mode); }
  ~RasterBatch() { RasterBatchEnd(); }
  RasterBatch(const RasterBatch&) = delete;
  RasterBatch& operator=(const RasterBatch&) = delete;
};
