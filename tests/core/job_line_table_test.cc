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
  for (const char* number : numbers) table.Set(kColNumber, row++, number);
  return table;
}

std::string Column(const JobLineTable& table, int column) {
  std::string texts;
  for (int row = 0; row < table.Get_BatchLine_Count(); ++row) {
    texts += table.Text(column, row) + "|";
  }
  return texts;
}

TEST(JobLineTable, SortsNumericallyMovingWholeRowsFindsAndDeletesRows) {
  JobLineTable table = TableWithNumbers({"30", "10", "9", "20"});
  table.Set(kColRepeatOnSuccess, 1, "x");
  table.SortJobLineTable();
  EXPECT_EQ(Column(table, kColNumber), "9|10|20|30|");
  EXPECT_EQ(Column(table, kColRepeatOnSuccess), "|x|||");
  EXPECT_EQ(table.FindJobLineRow(20), 2);
  EXPECT_EQ(table.FindJobLineRow(99), 0);
  EXPECT_TRUE(table.DeleteTableRow(1));
  EXPECT_EQ(Column(table, kColNumber), "9|20|30|");
  EXPECT_FALSE(table.DeleteTableRow(3));
  EXPECT_FALSE(table.DeleteTableRow(-1));
}

TEST(Catalogue, NamesCompareExactlyAndHealthInspectorNeedsMirn) {
  EXPECT_NE(FindJobLineType("Flow Runner"), nullptr);
  EXPECT_EQ(FindJobLineType("flow runner"), nullptr);
  EXPECT_EQ(XMLProgramtype_to_Programtype("run vantor job (unix)"), "???");
  EXPECT_EQ(Programtype_to_XMLProgramtype("???"), "");
  EXPECT_EQ(AvailableTypeNames(std::string(1, kPathSeparator)).size(), 10u);
  auto with_mirn = AvailableTypeNames("/opt/mirn/utils/");
  ASSERT_EQ(with_mirn.size(), 11u);
  EXPECT_EQ(with_mirn[8], "Health Inspector");
}

}  // namespace
}  // namespace jr
