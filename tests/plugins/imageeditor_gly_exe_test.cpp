// The image-editor plug-in inside its stand-in host against the real gly.exe: the program finds one
// missing font in the chosen folder and not the other, and the document is reopened.
#include <gtest/gtest.h>

#include "plugin_test_util.h"
#include "gly_exe_fixture.h"

namespace {

class ImageEditorWithGly : public PluginWithGlyTest {};

TEST_F(ImageEditorWithGly, ActivatesAMissingFontAndReopensTheDocument) {
  const std::string folder = FontFolder();
  auto log = RunHost("layer Title\ntext substitutes\nstyle DejaVuSans|DejaVu Sans|Book\n"
                     "style Nowhere-Regular|Nowhere|Regular\n"
                     "layer Body\ntext present\nstyle Courier|Courier New|Regular\n"
                     "chooser " + folder + "\ndialog ok\nreopen-fixed\nopen C:\\docs\\poster.psd\n",
                     L"ie_with_gly", 120000, L"imageeditor_host.exe");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_TRUE(HasLine(log, "final row 0: * icon=112 | DejaVuSans | icon=114 | GLY activated font successfully"));
  EXPECT_TRUE(HasLine(log, "final row 1: icon=113 | Nowhere-Regular | icon=114 | GLY cannot find font file"));
  EXPECT_TRUE(HasLine(log, "final row 2: icon=112 | Courier | icon=114 | Already activated"));
  EXPECT_TRUE(HasLine(log, "play close C:\\docs\\poster.psd saving=YsN /N    mode=2"));
  EXPECT_TRUE(HasLine(log, "play open C:\\docs\\poster.psd mode=2"));
  EXPECT_TRUE(HasLine(log, "host done"));
  std::wstring session = ReadUtf16(dataFolder + L"\\plugin_session.log");
  EXPECT_NE(session.find(L"DejaVuSans"), std::wstring::npos);
  EXPECT_NE(session.find(L"poster.psd"), std::wstring::npos);

  CloseProgram();
}

}  // namespace
