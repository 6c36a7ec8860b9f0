// A kept read-out's report texts: the instrument's texts from its state, the column captions
// from the brake ticks (none for the plain model's column), the examiner's entries as UTF-8,
// "Measure Pull" as read, and the notes wrapped at the notes box's width.
#include <gtest/gtest.h>

#include <clocale>

#include "report/NotesBox.h"
#include "report/RecordReport.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/SimReadout.h"

TEST(RecordReport, CaptionsFollowTheTicksAsTheConnectedViewMakesThem) {
  using Captions = std::array<QString, 3>;
  EXPECT_EQ(TestCaptions(true, {true, false, true}), (Captions{"Main brake", "Test 2", "Parking"}));
  EXPECT_EQ(TestCaptions(true, {false, true, false}), (Captions{"Test 1", "Secondary", "Test 3"}));
  EXPECT_EQ(TestCaptions(false, {true, true, true}), (Captions{"", "Secondary", "Parking"}));
}

TEST(RecordReport, TheTextsOfAKeptReadOut) {
  std::setlocale(LC_ALL, "C");
  protocol::ReadoutRecord r = RecordOf({});
  r.brakeTicked = {false, true, false};
  r.vehicle = "AB12 CDE";
  r.examiner = "Zoë Łukasz";
  const std::string paragraph(40, 'w');
  r.notes = "10%g start trigger\n" + paragraph + " " + paragraph;
  const ReportTexts t = ReportTextsOf(r);
  EXPECT_TRUE(t.PlusModel);
  EXPECT_TRUE(t.MeasurePull);
  EXPECT_EQ(t.Serial, "0123");
  EXPECT_EQ(t.Calibration, "Calibrate before:  15-03-27");
  EXPECT_EQ(t.Vehicle, "AB12 CDE");
  EXPECT_EQ(t.Examiner, QString::fromUtf8("Zoë Łukasz"));
  EXPECT_EQ(t.TestCaption[1], "Secondary");
  EXPECT_EQ(t.TestDate[0], "10:32 14-05-26");
  EXPECT_EQ(t.Peak[0], "65.0 %g");
  EXPECT_EQ(t.Speed[1], "40 kph");
  EXPECT_EQ(t.Pull[1], "Left  3 deg");
  EXPECT_EQ(t.PullG[0], "   4.4 %g");  // as the box shows it, leading spaces and all
  // The long words are broken where the box breaks them (tests/app compares with the window).
  ASSERT_GT(t.Notes.size(), 3);
  EXPECT_EQ(t.Notes[0], "10%g start trigger");
  EXPECT_EQ(t.Notes.mid(1).join(QString()).toStdString(), paragraph + " " + paragraph);
  EXPECT_EQ(WrapNotesAsShown(QString()), QStringList({""}));
}
