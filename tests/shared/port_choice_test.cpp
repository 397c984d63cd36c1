#include "app/shared/port_choice.h"
#include "serial/comport.h"
#include "serial/run_queue.h"

#include <gtest/gtest.h>

namespace dedarida {
namespace {

template <typename Row> std::string RowName(const ::testing::TestParamInfo<Row>& row) {
    return row.param.name;
}

struct ChosenRow {
    const char* name;
    const char* item;
    int baudIndex;
    std::uint8_t port;
    TBaudRate baudRate;
};

class PortChoiceChosen : public ::testing::TestWithParam<ChosenRow> {};

TEST_P(PortChoiceChosen, SetsOrdinalAndBaudRate) {
    const auto choice = ChoosePort(GetParam().item, GetParam().baudIndex);
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->port, GetParam().port);
    EXPECT_EQ(choice->baudRate, GetParam().baudRate);
}

INSTANTIATE_TEST_SUITE_P(
    Items, PortChoiceChosen,
    ::testing::Values(ChosenRow{"FourCharacters", "COM1", 0, 0, TBaudRate::br4800},
                      ChosenRow{"Padded", "COM01", 0, 0, TBaudRate::br4800},
                      ChosenRow{"Com09", "COM09", 0, 8, TBaudRate::br4800},
                      ChosenRow{"WithDevicePath", "COM05 /dev/ttyUSB0", 0, 4, TBaudRate::br4800},
                      ChosenRow{"SecondBaudItem", "COM03", 1, 2, TBaudRate::br38400}),
    RowName<ChosenRow>);

class PortChoiceNotAvailable : public ::testing::TestWithParam<const char*> {};

TEST_P(PortChoiceNotAvailable, ChangesNothing) {
    EXPECT_FALSE(ChoosePort(GetParam(), 0));
}

// COM100 is read from its fourth and fifth characters: 10. COM00 names no
// port: its ordinal would be -1.
INSTANTIATE_TEST_SUITE_P(Items, PortChoiceNotAvailable,
                         ::testing::Values("COM10", "COM12", "COM100", "COM00"));

struct FailureRow {
    const char* name;
    const char* item;
    const char* message;
};

class PortChoiceConversion : public ::testing::TestWithParam<FailureRow> {};

TEST_P(PortChoiceConversion, RaisesConvertError) {
    try {
        ChoosePort(GetParam().item, 0);
        FAIL() << "no conversion error";
    } catch (const EConvertError& error) {
        EXPECT_STREQ(error.what(), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Items, PortChoiceConversion,
    ::testing::Values(FailureRow{"NoSelection", "", "'' is not a valid integer value"},
                      FailureRow{"ThreeCharacters", "COM", "'' is not a valid integer value"},
                      FailureRow{"Letters", "CNCA0", "'A0' is not a valid integer value"},
                      FailureRow{"Sign", "COM-1", "'-1' is not a valid integer value"},
                      FailureRow{"DigitThenBlank", "COM5 ", "'5 ' is not a valid integer value"}),
    RowName<FailureRow>);

// The dialog's side of the port: what it selects on opening and what OK sets.
class PortChoiceOnPort : public ::testing::Test {
protected:
    PortChoiceOnPort() {
        port.SetPort(2);
        port.SetBaudRate(TBaudRate::br38400);
    }
    RunQueue main;
    TComPort port{main};
};

TEST_F(PortChoiceOnPort, SelectsTheItemAtTheOrdinal) {
    EXPECT_EQ(InitialPortIndex(port, 3), 2);
}

TEST_F(PortChoiceOnPort, SelectsNothingWhenTheListIsShorter) {
    EXPECT_EQ(InitialPortIndex(port, 2), -1);
    EXPECT_EQ(InitialPortIndex(port, 0), -1);
}

TEST_F(PortChoiceOnPort, OkSetsPortAndBaudRate) {
    EXPECT_TRUE(ApplyPortChoice(port, "COM05", 0));
    EXPECT_EQ(port.Port(), 4);
    EXPECT_EQ(port.BaudRate(), TBaudRate::br4800);
}

TEST_F(PortChoiceOnPort, NotAvailableLeavesThePortAsItWas) {
    EXPECT_FALSE(ApplyPortChoice(port, "COM12", 0));
    EXPECT_EQ(port.Port(), 2);
    EXPECT_EQ(port.BaudRate(), TBaudRate::br38400);
}

TEST_F(PortChoiceOnPort, ConversionErrorLeavesThePortAsItWas) {
    EXPECT_THROW(ApplyPortChoice(port, "CNCA0", 0), EConvertError);
    EXPECT_EQ(port.Port(), 2);
    EXPECT_EQ(port.BaudRate(), TBaudRate::br38400);
}

} // namespace
} // namespace dedarida
