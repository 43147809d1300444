// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/CResultsModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

TEST(ResultsModelTest, RowsAreValuesWithTwoMarksThatKeepEachOther) {
    CResultsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    for (int i = 0; i < 6; ++i)
        model.AddRow({"http://h/" + std::to_string(i), "HTTP Code 404 Not Found", "name\xe9",
                      "/site/p" + std::to_string(i % 3) + ".htm", 0xFFFFFFFFu});
    ASSERT_EQ(model.RowCount(), 6);
    EXPECT_EQ(model.Row(2).itemData, 0u); // a listed row carries no marks
    EXPECT_EQ(model.data(model.index(2, CResultsModel::kColSiteName)).toString(),
              QStringView(u"name\u00e9").toString());
    EXPECT_EQ(model.GetPrintLine(0),
              "http://h/0 - HTTP Code 404 Not Found - name\xe9 - /site/p0.htm");

    model.SetFileFinished(1, true);
    model.SetRepaired(1, true);
    EXPECT_TRUE(model.IsRepaired(1) && model.IsFileFinished(1));
    model.SetRepaired(1, false);
    EXPECT_TRUE(model.IsFileFinished(1) && !model.IsRepaired(1));
    model.SetRepaired(1, true);
    model.SetFileFinished(1, false);
    EXPECT_TRUE(model.IsRepaired(1) && !model.IsFileFinished(1));

    // Scattered repaired rows go in one pass; the others keep their order.
    model.SetRepaired(0, true);
    model.SetRepaired(4, true);
    model.SetFileFinished(5, true);
    EXPECT_EQ(model.RemoveRepairedRows(), 3);
    ASSERT_EQ(model.RowCount(), 3);
    EXPECT_EQ(model.Row(0).url, "http://h/2");
    EXPECT_EQ(model.Row(2).url, "http://h/5");
    EXPECT_TRUE(model.IsFileFinished(2));
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    EXPECT_EQ(model.RemoveRepairedRows(), 0);
    EXPECT_EQ(reset.count(), 0); // nothing repaired: the view keeps its place

    model.RemoveRow(1);
    model.RemoveRow(7);
    EXPECT_EQ(model.RowCount(), 2);
}

} // namespace
