#include "items/QmlText.h"

#include <gtest/gtest.h>

#include <string>

TEST(QmlText, AssignTextGivesWhatToStdStringGives)
{
    std::string out = "left over";
    for (const QString& text : {QString("prism.crystal"), QString("prism.crystal"), QString("x"), QString(),
                                QString::fromUtf8("gr\xc3\xbc\xc3\x9f" "e"), QString("a much longer name than before"),
                                QString("prism.crystaL")}) {
        assignText(out, text);
        EXPECT_EQ(out, text.toStdString());
    }
}

TEST(QmlText, AnAsciiTextNoLongerThanTheLastStaysInTheSameStorage)
{
    std::string out;
    assignText(out, QString("a name long enough to live on the heap, not inside the string"));
    const char* storage = out.data();
    const size_t capacity = out.capacity();
    for (const char* text : {"a name long enough to live on the heap, not inside the string", "shorter",
                             "", "prism.crystal", "a name long enough to live on the heap, not inside the strinG"}) {
        assignText(out, QString(text));
        EXPECT_EQ(out, text);
        EXPECT_EQ(out.data(), storage) << text;
        EXPECT_EQ(out.capacity(), capacity) << text;
    }
}

TEST(QmlText, CodeUnitsBeyondAsciiAreNotCutToTheirLowByte)
{
    // U+0141 and U+2E41 hold an ASCII letter and comma in their low byte;
    // U+00E9 is a Latin-1 letter; U+1F600 is a surrogate pair.
    const QString texts[] = {QString(QChar(0x0141)) + "odz", QString("a") + QChar(0x2E41) + "b",
                             QString("caf") + QChar(0x00E9), QString("x") + QString::fromUcs4(U"\U0001F600") + "y"};
    for (const QString& text : texts) {
        std::string out = "prism.crystal";
        assignText(out, text);
        EXPECT_EQ(out, text.toStdString());
        EXPECT_EQ(QString::fromStdString(out), text);
    }
}
