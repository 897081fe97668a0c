#pragma once
// The document: home of the live run and of the record under review.
#include "data/ReadingStore.h"

#include <memory>

class CKMDoc {
public:
    CKMDoc() : m_live(std::make_unique<LiveSeries>()), m_review(std::make_unique<ReviewRecord>()) {}

    LiveSeries& live() { return *m_live; }
    const LiveSeries& live() const { return *m_live; }
    ReviewRecord& review() { return *m_review; }
    const ReviewRecord& review() const { return *m_review; }

private:
    std::unique_ptr<LiveSeries> m_live;
    std::unique_ptr<ReviewRecord> m_review;
};
