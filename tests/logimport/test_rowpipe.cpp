#include "rowpipe.h"

#include <gtest/gtest.h>
#include <thread>

using namespace nimbra;

namespace {

RowPipe::Batch Marked(int mark)
{
    return RowPipe::Batch(3, ParsedLine{RecordRow{double(mark), 0.0f, 0, 0.0f, 0.0f}});
}

} // namespace

TEST(RowPipe, BatchesArriveInOrderUntilTheProducerCloses)
{
    RowPipe pipe;
    std::thread producer([&] {
        for (int mark = 0; mark < 20; ++mark)
            pipe.push(Marked(mark));
        pipe.close();
    });
    for (int mark = 0; mark < 20; ++mark) {
        const auto batch = pipe.pop();
        ASSERT_TRUE(batch);
        EXPECT_EQ(batch->front().row.Time, double(mark));
    }
    EXPECT_FALSE(pipe.pop());
    producer.join();
}

TEST(RowPipe, AProducerNeverWaitsForAConsumerThatStopped)
{
    RowPipe pipe;
    std::thread producer([&] {
        for (int mark = 0; mark < 100; ++mark)
            pipe.push(Marked(mark));
        pipe.close();
    });
    ASSERT_TRUE(pipe.pop());
    pipe.stop();
    producer.join(); // would hang with a full pipe and nobody taking from it
    EXPECT_FALSE(pipe.pop());
}
