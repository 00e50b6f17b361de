// Job files in the encodings the reader recognises. Both XML readers of the builds (the
// library on Linux, our own on Windows) must agree on these.

#include <gtest/gtest.h>

#include <string>

#include "jobfile/job_file.h"

namespace jr {
namespace {

const std::string kJob =
    "<VANTORSOREL_Job_specification Description=\"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\" "
    "LogFile=\"a\" UserFile=\"u\" TempLogDir=\"t\"><BatchLines><BatchLine batch_line=\"7\" "
    "batch_line_type=\"Flow Runner\"/></BatchLines></VANTORSOREL_Job_specification>";
const std::string kDescription = "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";

// UTF-8 text re-encoded as UTF-16 or UTF-32 code units of the given byte order.
std::string Encode(const std::string& utf8, int width, bool big_endian) {
  std::u32string code_points;
  for (size_t i = 0; i < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    const int length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    char32_t code = length == 1 ? byte : byte & (0x7F >> length);
    for (int k = 1; k < length; ++k) code = (code << 6) | (utf8[i + k] & 0x3F);
    code_points += code;
    i += static_cast<size_t>(length);
  }
  std::string out;
  auto unit = [&](uint32_t value) {
    for (int k = 0; k < width; ++k) {
      const int shift = 8 * (big_endian ? width - 1 - k : k);
      out += static_cast<char>((value >> shift) & 0xFF);
    }
  };
  for (char32_t code : code_points) {
    if (width == 2 && code >= 0x10000) {
      unit(0xD800 + ((code - 0x10000) >> 10));
      unit(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      unit(code);
    }
  }
  return out;
}

std::string Description(const std::string& text) {
  JobDocument job;
  const ReadResult result = ReadJobFileText(text, "job.xml", job);
  EXPECT_EQ(result.status, ReadStatus::kLoaded) << result.message << result.detail;
  EXPECT_EQ(job.table.Get_BatchLine_Count(), 1);
  return job.Description;
}

TEST(JobFileEncoding, ByteOrderMarksAndDeclarationsTellTheEncoding) {
  EXPECT_EQ(Description(kJob), kDescription);
  EXPECT_EQ(Description("\xEF\xBB\xBF" + kJob), kDescription);
  EXPECT_EQ(Description(Encode("\xEF\xBB\xBF" + kJob, 2, false)), kDescription);
  EXPECT_EQ(Description(Encode("\xEF\xBB\xBF" + kJob, 2, true)), kDescription);
  EXPECT_EQ(Description(Encode("\xEF\xBB\xBF" + kJob, 4, false)), kDescription);
  // Without a mark, a declaration in UTF-16 gives the encoding away by its first bytes; as
  // the file does not start with its root element it is then refused as no job file, not
  // as unreadable. So is a file declared as Latin-1, with a single-byte accent.
  JobDocument job;
  EXPECT_EQ(ReadJobFileText(Encode("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + kJob, 2, false),
                            "job.xml", job)
                .status,
            ReadStatus::kNotJobFile);
  EXPECT_EQ(ReadJobFileText("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
                            "<VANTORSOREL_Job_specification Description=\"Caf\xE9\" LogFile=\"a\" "
                            "UserFile=\"u\" TempLogDir=\"t\"><BatchLines/>"
                            "</VANTORSOREL_Job_specification>",
                            "job.xml", job)
                .status,
            ReadStatus::kNotJobFile);
}

TEST(JobFileEncoding, WhitespaceInValuesAndTextReadsAsTheLibraryReadsIt) {
  JobDocument job;
  ASSERT_EQ(ReadJobFileText("<VANTORSOREL_Job_specification Description=\"a\tb\r\nc\nd\" "
                            "LogFile='single &lt;quoted&gt;' UserFile=\"u\" TempLogDir=\"t\">"
                            "\r\n  <BatchLines>\r\n  </BatchLines>\r\n"
                            "</VANTORSOREL_Job_specification>\r\n",
                            "job.xml", job)
                .status,
            ReadStatus::kLoaded);
  EXPECT_EQ(job.Description, "a b c d");
  EXPECT_EQ(job.LogFile, "single <quoted>");
  EXPECT_EQ(job.table.Get_BatchLine_Count(), 0);

  for (const char* broken :
       {"<VANTORSOREL_Job_specification Description=d/>",
        "<VANTORSOREL_Job_specification a=\"1\"b=\"2\"/>",
        "<VANTORSOREL_Job_specification><!-- open", "<VANTORSOREL_Job_specification></x >",
        "<?xml version=\"1.0\"",
        "<VANTORSOREL_Job_specification><![CDATA[x</VANTORSOREL_Job_specification>",
        "<!DOCTYPE a [<!ELEMENT a ANY>", "< VANTORSOREL_Job_specification/>"}) {
    EXPECT_EQ(ReadJobFileText(broken, "job.xml", job).status, ReadStatus::kCannotLoad) << broken;
  }
}

}  // namespace
}  // namespace jr
