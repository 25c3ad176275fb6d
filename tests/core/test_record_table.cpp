// The record table: find, insert at the top, restart and append, select.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "import/record.h"

namespace {

MeasureRecord& Numbered(MeasureRecord& r, int n)
{
    std::snprintf(r.path, sizeof r.path, "/d/%d.nmea", n);
    r.pointCount = n;
    return r;
}

TEST(RecordTable, InsertAtTopDropsTheLastWhenFull)
{
    auto t = std::make_unique<RecordTable>();
    auto r = std::make_unique<MeasureRecord>();
    t->selected = 5;
    RecordTableInsertTop(*t, Numbered(*r, 1));
    EXPECT_EQ(t->selected, 0);
    EXPECT_EQ(t->count, 1);
    for (int i = 2; i <= MaxRecords + 1; ++i) RecordTableInsertTop(*t, Numbered(*r, i));
    EXPECT_EQ(t->count, MaxRecords);
    EXPECT_EQ(t->records[0].pointCount, MaxRecords + 1);
    EXPECT_EQ(t->records[MaxRecords - 1].pointCount, 2);  // record 1 was at index 199 and is lost
    EXPECT_EQ(RecordTableFind(*t, "/d/1.nmea"), -1);
    EXPECT_EQ(RecordTableFind(*t, "/d/2.nmea"), MaxRecords - 1);
    EXPECT_EQ(RecordTableFind(*t, "/d/201.nmea"), 0);
    EXPECT_EQ(RecordTableFind(*t, "/D/201.nmea"), -1);  // case-sensitive
}

TEST(RecordTable, RestartAndAppendUpToTheLimit)
{
    auto t = std::make_unique<RecordTable>();
    auto r = std::make_unique<MeasureRecord>();
    RecordTableInsertTop(*t, Numbered(*r, 7));
    RecordTableRestart(*t);
    EXPECT_EQ(t->count, 0);
    EXPECT_EQ(RecordTableFind(*t, "/d/7.nmea"), -1);  // entries past count are not found
    for (int i = 0; i < MaxRecords; ++i) ASSERT_EQ(RecordTableAppend(*t, Numbered(*r, i)), 0);
    EXPECT_EQ(RecordTableAppend(*t, Numbered(*r, 999)), -1);
    EXPECT_EQ(t->count, MaxRecords);
    EXPECT_EQ(t->records[MaxRecords - 1].pointCount, MaxRecords - 1);
}

TEST(RecordTable, SelectOnlyListedEntries)
{
    auto t = std::make_unique<RecordTable>();
    auto r = std::make_unique<MeasureRecord>();
    EXPECT_EQ(RecordTableSelect(*t, 0), -1);
    RecordTableAppend(*t, Numbered(*r, 1));
    RecordTableAppend(*t, Numbered(*r, 2));
    EXPECT_EQ(RecordTableSelect(*t, 1), 0);
    EXPECT_EQ(t->selected, 1);
    EXPECT_EQ(RecordTableSelect(*t, 2), -1);
    EXPECT_EQ(RecordTableSelect(*t, -1), -1);
    EXPECT_EQ(t->selected, 1);
}

}  // namespace
