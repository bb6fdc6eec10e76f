#include "message/analysis_queue.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#include "message/message_reader.h"

int analysisThreadSetting = -1;

namespace {

// Most workers a queue starts: beyond this the caller's own share of the
// work is what limits the run.
constexpr int kMostWorkers = 4;
// Records per worker: enough that a worker seldom waits for the caller to
// give one back.
constexpr size_t kRecordsPerWorker = 4;

bool samePhrase(const PhraseState& a, const PhraseState& b) {
  return a.wordLimit == b.wordLimit && a.wordCount == b.wordCount;
}

void freshResult(ScoreResult& result) {
  result.spamProduct = 0.0;
  result.hamProduct = 0.0;
  result.probability = 0.4;
  result.spamFrequency = 0.0;
  result.hamFrequency = 0.0;
  result.emittedTokens = 0;
  result.foundOccurrences = 0;
}

// Forms the tokens of a message already read, from phrase, which is advanced.
void formTokens(AnalysisKind kind, AnalysedMessage& analysed, PhraseState& phrase) {
  analysed.phraseBefore = phrase;
  if (kind == AnalysisKind::Training) {
    tokenizeForTraining(analysed.message, phrase);
  } else {
    freshResult(analysed.result);
    tokenizeForScoring(analysed.message, phrase, analysed.result);
  }
  analysed.phraseAfter = phrase;
}

// Reads the job's file into analysed and forms its tokens from phrase.
void analyse(AnalysisKind kind, const AnalysisJob& job, AnalysedMessage& analysed,
             PhraseState phrase) {
  MessageTokens& message = analysed.message;
  message.tokenCount = 0;
  message.countAsHam = job.countAsHam;
  freshResult(analysed.result);
  analysed.phraseBefore = phrase;
  analysed.phraseAfter = phrase;
  analysed.readResult = 0;
  if (!setMessagePath(message, job.path.c_str())) return;
  analysed.readResult = readMessageFile(message);
  if (analysed.readResult == 0) return;
  formTokens(kind, analysed, phrase);
}

int chooseWorkers(size_t jobs) {
  // A replaced allocator belongs to a test that counts or fails allocations
  // one by one; those are made on the caller's thread, in order.
  if (messageAllocate != static_cast<void* (*)(std::size_t)>(std::malloc)) return 0;
  if (jobs < 2) return 0;
  int workers = analysisThreadSetting;
  if (workers < 0) {
    const unsigned processors = std::thread::hardware_concurrency();
    workers = processors >= 2 ? static_cast<int>(std::min<unsigned>(processors, kMostWorkers)) : 0;
  }
  return static_cast<int>(std::min<size_t>(static_cast<size_t>(workers), jobs));
}

}  // namespace

struct MessageAnalysisQueue::Shared {
  AnalysisKind kind;
  std::vector<AnalysisJob> jobs;
  PhraseState first;
  std::vector<std::unique_ptr<AnalysedMessage>> records;
  // For each record: the job whose analysis it holds (-1: none), and the
  // job it may take next.
  std::vector<long long> readyJob;
  std::vector<long long> freeForJob;
  std::mutex mutex;
  std::condition_variable ready;  // a record was filled
  std::condition_variable freed;  // a record was given back, or the queue stops
  bool stopping = false;
  std::vector<std::thread> workers;
  size_t nextJob = 0;  // the job take() hands over next

  void work(size_t firstJob, size_t step) {
    const size_t count = records.size();
    for (size_t job = firstJob; job < jobs.size(); job += step) {
      const size_t at = job % count;
      {
        std::unique_lock<std::mutex> lock(mutex);
        freed.wait(lock, [&] {
          return stopping || freeForJob[at] == static_cast<long long>(job);
        });
        if (stopping) return;
      }
      // Every message but the first is formed from the state the one before
      // leaves in practice; take() checks the guess.
      const PhraseState guess = job == 0 ? first : PhraseState{first.wordLimit, 1};
      analyse(kind, jobs[job], *records[at], guess);
      {
        std::lock_guard<std::mutex> lock(mutex);
        readyJob[at] = static_cast<long long>(job);
      }
      ready.notify_one();
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

  void startWorkers(int count) {
    records.clear();
    const size_t recordCount = count == 0 ? 1 : static_cast<size_t>(count) * kRecordsPerWorker;
    for (size_t i = 0; i < recordCount; ++i) records.emplace_back(new AnalysedMessage());
    readyJob.assign(recordCount, -1);
    freeForJob.resize(recordCount);
    for (size_t i = 0; i < recordCount; ++i) freeForJob[i] = static_cast<long long>(i);
    try {
      for (int w = 0; w < count; ++w) {
        workers.emplace_back(&Shared::work, this, static_cast<size_t>(w),
                             static_cast<size_t>(count));
      }
    } catch (const std::system_error&) {
      // Without its threads the queue analyses each message when it is taken.
      stopWorkers();
      for (auto& record : records) freeMessageTokens(record->message);
      stopping = false;
      readyJob.assign(recordCount, -1);
    }
  }
};

MessageAnalysisQueue::MessageAnalysisQueue(AnalysisKind kind, std::vector<AnalysisJob> jobs,
                                           PhraseState first)
    : shared_(new Shared) {
  shared_->kind = kind;
  shared_->jobs = std::move(jobs);
  shared_->first = first;
  shared_->startWorkers(chooseWorkers(shared_->jobs.size()));
}

MessageAnalysisQueue::~MessageAnalysisQueue() {
  shared_->stopWorkers();
  for (auto& record : shared_->records) freeMessageTokens(record->message);
}

int MessageAnalysisQueue::workerCount() const { return static_cast<int>(shared_->workers.size()); }

AnalysedMessage& MessageAnalysisQueue::take(PhraseState& phrase) {
  Shared& s = *shared_;
  const size_t job = s.nextJob;
  AnalysedMessage& analysed = *s.records[job % s.records.size()];
  if (job >= s.jobs.size()) {
    // Taken past the last job: a message that could not be read.
    analysed.message.tokenCount = 0;
    analysed.readResult = 0;
    freshResult(analysed.result);
    return analysed;
  }
  if (s.workers.empty()) {
    analyse(s.kind, s.jobs[job], analysed, phrase);
  } else {
    std::unique_lock<std::mutex> lock(s.mutex);
    s.ready.wait(lock, [&] {
      return s.readyJob[job % s.records.size()] == static_cast<long long>(job);
    });
  }
  // A message that could not be read formed no tokens and leaves the phrase
  // state as it was.
  if (analysed.readResult == 0) return analysed;
  if (!samePhrase(analysed.phraseBefore, phrase)) {
    // The guess was wrong: the tokens are formed again from the real state.
    freeMessageTokens(analysed.message);
    analysed.message.tokenCount = 0;
    formTokens(s.kind, analysed, phrase);
  }
  phrase = analysed.phraseAfter;
  return analysed;
}

void MessageAnalysisQueue::giveBack() {
  Shared& s = *shared_;
  const size_t job = s.nextJob;
  const size_t at = job % s.records.size();
  freeMessageTokens(s.records[at]->message);
  ++s.nextJob;
  if (s.workers.empty() || job >= s.jobs.size()) return;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.readyJob[at] = -1;
    s.freeForJob[at] = static_cast<long long>(job + s.records.size());
  }
  s.freed.notify_all();
}
