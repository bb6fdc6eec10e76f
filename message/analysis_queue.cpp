#include "message/analysis_queue.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#include "message/message_reader.h"
#include "platform/platform.h"

int analysisThreadSetting = -1;

namespace {

// Most workers a queue starts: beyond this the caller's own share of the
// work is what limits the run.
constexpr int kMostWorkers = 4;

bool samePhrase(const PhraseState& a, const PhraseState& b) {
  return a.wordLimit == b.wordLimit && a.wordCount == b.wordCount;
}

// What the analysis of a message does beyond reading it.
struct AnalysisPlan {
  AnalysisKind kind;
  const TokenDictionary* scoringDictionary;
};

// Forms the tokens of a message already read, from phrase, which is
// advanced, and scores them when the plan says so.
void formTokens(const AnalysisPlan& plan, AnalysedMessage& analysed, PhraseState& phrase) {
  analysed.phraseBefore = phrase;
  analysed.scored = false;
  if (plan.kind == AnalysisKind::Training) {
    tokenizeForTraining(analysed.message, phrase);
  } else {
    analysed.result = freshScoreResult();
    tokenizeForScoring(analysed.message, phrase, analysed.result);
    if (plan.scoringDictionary != nullptr) {
      computeTokenScore(*plan.scoringDictionary, analysed.message, analysed.result);
      analysed.scored = true;
    }
  }
  analysed.phraseAfter = phrase;
}

// Reads the job's file into analysed and forms its tokens from phrase.
void analyse(const AnalysisPlan& plan, const AnalysisJob& job, AnalysedMessage& analysed,
             PhraseState phrase) {
  MessageTokens& message = analysed.message;
  message.tokenCount = 0;
  message.countAsHam = job.countAsHam;
  analysed.result = freshScoreResult();
  analysed.phraseBefore = phrase;
  analysed.phraseAfter = phrase;
  analysed.scored = false;
  analysed.readResult = 0;
  const int length = std::snprintf(message.path, sizeof message.path,
                                   "%s" CVSPAM_PATH_SEPARATOR "%s", job.folder, job.name);
  if (length < 0 || length >= static_cast<int>(sizeof message.path)) {
    // Never cut short and read as some other file.
    message.path[0] = '\0';
    return;
  }
  analysed.readResult = readMessageFile(message);
  if (analysed.readResult == 0) return;
  formTokens(plan, analysed, phrase);
}

int chooseWorkers(size_t jobs) {
  // A replaced allocator belongs to a test that counts or fails allocations
  // one by one; those are made on the caller's thread, in order.
  if (messageAllocate != static_cast<void* (*)(std::size_t)>(std::malloc)) return 0;
  if (jobs < 2) return 0;
  int workers = analysisThreadSetting;
  if (workers < 0) {
    // The caller's thread analyses too while it would otherwise wait.
    const unsigned processors = std::thread::hardware_concurrency();
    workers = processors >= 2
                  ? static_cast<int>(std::min<unsigned>(processors - 1, kMostWorkers))
                  : 0;
  }
  return workers;
}

}  // namespace

// The records form a ring of batches of kBatch consecutive jobs. A worker
// claims the next batch, waits until the caller has given back the batch
// that last used the same records, analyses the jobs, and hands the batch
// over whole; the threads meet once per batch rather than once per message.
struct MessageAnalysisQueue::Shared {
  static constexpr size_t kBatch = 8;

  AnalysisPlan plan;
  std::vector<AnalysisJob> jobs;
  PhraseState first;
  std::vector<std::unique_ptr<AnalysedMessage>> records;
  size_t batchSlots = 1;  // batches the ring holds
  // For each batch slot: the batch whose analysis it holds (-1: none), and
  // the batch it may take next.
  std::vector<long long> readyBatch;
  std::vector<long long> freeForBatch;
  std::mutex mutex;
  std::condition_variable ready;  // a batch was handed over
  std::condition_variable freed;  // a batch was given back, or the queue stops
  bool stopping = false;
  bool callerWaiting = false;
  int workersWaiting = 0;
  size_t nextBatch = 0;  // the batch the next worker claims
  std::vector<std::thread> workers;
  size_t nextJob = 0;  // the job take() hands over next

  size_t batchCount() const { return (jobs.size() + kBatch - 1) / kBatch; }

  AnalysedMessage& recordOf(size_t job) { return *records[job % records.size()]; }

  void work() {
    for (;;) {
      size_t batch;
      size_t slot;
      {
        std::unique_lock<std::mutex> lock(mutex);
        if (stopping || nextBatch >= batchCount()) return;
        batch = nextBatch++;
        slot = batch % batchSlots;
        ++workersWaiting;
        freed.wait(lock, [&] {
          return stopping || freeForBatch[slot] == static_cast<long long>(batch);
        });
        --workersWaiting;
        if (stopping) return;
      }
      analyseBatch(batch);
      bool wake;
      {
        std::lock_guard<std::mutex> lock(mutex);
        readyBatch[slot] = static_cast<long long>(batch);
        wake = callerWaiting;
      }
      if (wake) ready.notify_one();
    }
  }

  void analyseBatch(size_t batch) {
    const size_t end = std::min(jobs.size(), (batch + 1) * kBatch);
    for (size_t job = batch * kBatch; job < end; ++job) {
      // Every message but the first is formed from the state the one
      // before leaves in practice; take() checks the guess.
      const PhraseState guess = job == 0 ? first : PhraseState{first.wordLimit, 1};
      analyse(plan, jobs[job], recordOf(job), guess);
    }
  }

  // Waits until batch is ready. Rather than sit idle while the workers are
  // busy, the caller analyses the next batch no worker has claimed yet,
  // when its records are free; so a run uses one thread per processor with
  // the caller as one of them.
  void awaitBatch(size_t batch) {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      if (readyBatch[batch % batchSlots] == static_cast<long long>(batch)) return;
      if (nextBatch < batchCount() && nextBatch < batch + batchSlots) {
        const size_t claimed = nextBatch++;
        lock.unlock();
        analyseBatch(claimed);
        lock.lock();
        readyBatch[claimed % batchSlots] = static_cast<long long>(claimed);
        continue;
      }
      callerWaiting = true;
      ready.wait(lock);
      callerWaiting = false;
    }
  }

  void stopWorkers() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    freed.notify_all();
    for (std::thread& worker : workers) worker.join();
    workers.clear();
  }

  void start(int count) {
    batchSlots = count == 0 ? 1 : static_cast<size_t>(count) * 2 + 2;
    const size_t recordCount = count == 0 ? 1 : batchSlots * kBatch;
    for (size_t i = 0; i < recordCount; ++i) records.emplace_back(new AnalysedMessage());
    readyBatch.assign(batchSlots, -1);
    freeForBatch.resize(batchSlots);
    for (size_t i = 0; i < batchSlots; ++i) freeForBatch[i] = static_cast<long long>(i);
    try {
      for (int w = 0; w < count; ++w) workers.emplace_back(&Shared::work, this);
    } catch (const std::system_error&) {
      // Without its threads the queue analyses each message when it is
      // taken; what the threads that did start analysed is not used.
      stopWorkers();
      for (auto& record : records) freeMessageTokens(record->message);
      records.resize(1);
      batchSlots = 1;
    }
  }
};

MessageAnalysisQueue::MessageAnalysisQueue(AnalysisKind kind, std::vector<AnalysisJob> jobs,
                                           PhraseState first,
                                           const TokenDictionary* scoringDictionary)
    : shared_(new Shared) {
  shared_->plan = AnalysisPlan{kind, scoringDictionary};
  shared_->jobs = std::move(jobs);
  shared_->first = first;
  shared_->start(chooseWorkers(shared_->jobs.size()));
}

MessageAnalysisQueue::~MessageAnalysisQueue() {
  shared_->stopWorkers();
  for (auto& record : shared_->records) freeMessageTokens(record->message);
}

int MessageAnalysisQueue::workerCount() const { return static_cast<int>(shared_->workers.size()); }

AnalysedMessage& MessageAnalysisQueue::take(PhraseState& phrase) {
  Shared& s = *shared_;
  const size_t job = s.nextJob;
  AnalysedMessage& analysed = s.recordOf(job);
  if (job >= s.jobs.size()) {
    // Taken past the last job: a message that could not be read.
    analysed.message.tokenCount = 0;
    analysed.readResult = 0;
    analysed.scored = false;
    analysed.result = freshScoreResult();
    return analysed;
  }
  if (s.workers.empty()) {
    analyse(s.plan, s.jobs[job], analysed, phrase);
  } else if (job % Shared::kBatch == 0) {
    s.awaitBatch(job / Shared::kBatch);
  }
  // A message that could not be read formed no tokens and leaves the phrase
  // state as it was.
  if (analysed.readResult == 0) return analysed;
  if (!samePhrase(analysed.phraseBefore, phrase)) {
    // The guess was wrong: the tokens are formed again from the real state.
    freeMessageTokens(analysed.message);
    analysed.message.tokenCount = 0;
    formTokens(s.plan, analysed, phrase);
  }
  phrase = analysed.phraseAfter;
  return analysed;
}

void MessageAnalysisQueue::giveBack() {
  Shared& s = *shared_;
  const size_t job = s.nextJob;
  freeMessageTokens(s.recordOf(job).message);
  ++s.nextJob;
  if (s.workers.empty() || job >= s.jobs.size()) return;
  // The batch goes back when its last message does.
  if (job % Shared::kBatch != Shared::kBatch - 1 && job + 1 != s.jobs.size()) return;
  const size_t batch = job / Shared::kBatch;
  bool wake;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.readyBatch[batch % s.batchSlots] = -1;
    s.freeForBatch[batch % s.batchSlots] = static_cast<long long>(batch + s.batchSlots);
    wake = s.workersWaiting > 0;
  }
  if (wake) s.freed.notify_all();
}
