#include "model/job_line_table.h"

#include <gtest/gtest.h>

#include "model/catalogue.h"
#include "platform/config.h"

namespace jr {
namespace {

JobLineTable TableWithNumbers(std::initializer_list<const char*> numbers) {
  JobLineTable table;
  int row = 0;
  table.SetJobLineCount(static_cast<int>(numbers.size()));
  for (const char* number : numbers) {
    table.Set(kColNumber, row, number);
    table.Set(kColDescription, row++, std::string("line ") + number);
  }
  return table;
}

std::string Column(const JobLineTable& table, int column) {
  std::string texts;
  for (int row = 0; row < table.Get_BatchLine_Count(); ++row)
    texts += table.Text(column, row) + "|";
  return texts;
}

TEST(JobLineTable, SortsNumericallyMovingWholeRowsAndFindsRows) {
  JobLineTable table = TableWithNumbers({"30", "10", "9", "20"});
  table.Set(kColRepeatOnSuccess, 1, "x");
  table.SortJobLineTable();
  EXPECT_EQ(Column(table, kColNumber), "9|10|20|30|");
  EXPECT_EQ(Column(table, kColDescription), "line 9|line 10|line 20|line 30|");
  EXPECT_EQ(Column(table, kColRepeatOnSuccess), "|x|||");
  EXPECT_EQ(table.FindJobLineRow(20), 2);
  EXPECT_EQ(table.FindJobLineRow(99), 0);
  EXPECT_EQ(table.Get_BatchLine_Number(3), 30);

  // Row i is exchanged with each later row holding a smaller number, which moves the
  // first of two equal rows behind the second.
  table = TableWithNumbers({"3", "3", "1"});
  table.Set(kColDescription, 0, "first");
  table.Set(kColDescription, 1, "second");
  table.SortJobLineTable();
  EXPECT_EQ(Column(table, kColDescription), "line 1|second|first|");
}

TEST(JobLineTable, GrowsAndShrinksButKeepsTwoRows) {
  JobLineTable table;
  EXPECT_EQ(table.RowCapacity(), 2);
  EXPECT_EQ(table.Get_BatchLine_Count(), 0);
  EXPECT_FALSE(table.At(14, 0).has_value());
  EXPECT_FALSE(table.At(0, 2).has_value());
  EXPECT_EQ(table.AppendTableRow(), " 2");
  EXPECT_EQ(table.RowCapacity(), 3);

  JobLineTable only = TableWithNumbers({"10"});
  EXPECT_TRUE(only.DeleteTableRow(0));
  EXPECT_EQ(only.Get_BatchLine_Count(), 0);
  EXPECT_EQ(only.RowCapacity(), 2);

  JobLineTable three = TableWithNumbers({"10", "20", "30"});
  EXPECT_TRUE(three.DeleteTableRow(1));
  EXPECT_EQ(three.RowCapacity(), 2);
  EXPECT_EQ(Column(three, kColDescription), "line 10|line 30|");
  EXPECT_FALSE(three.DeleteTableRow(2));
  EXPECT_FALSE(three.DeleteTableRow(-1));
  EXPECT_EQ(three.Get_BatchLine_Count(), 2);
}

TEST(Catalogue, NamesCompareExactlyAndHealthInspectorNeedsMirn) {
  EXPECT_NE(FindJobLineType("Flow Runner"), nullptr);
  EXPECT_EQ(FindJobLineType("flow runner"), nullptr);
  EXPECT_EQ(FindJobLineType(" Flow Runner"), nullptr);
  EXPECT_EQ(XMLProgramtype_to_Programtype("run vantor job (unix)"), "???");
  EXPECT_EQ(Programtype_to_XMLProgramtype("???"), "");
  EXPECT_EQ(AvailableTypeNames(std::string(1, kPathSeparator)).size(), 10u);
  auto with_mirn = AvailableTypeNames("/opt/mirn/utils/");
  ASSERT_EQ(with_mirn.size(), 11u);
  EXPECT_EQ(with_mirn[8], "Health Inspector");
  EXPECT_EQ(with_mirn.back(), "User Batchfile");
}

}  // namespace
}  // namespace jr
