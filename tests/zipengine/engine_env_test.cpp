// Every test program of the engine runs with the engine started, as the product does.
#include <gtest/gtest.h>

#include "UnitInit.h"
#include "ZFConst.h"

namespace {

class TEngineEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ZFRegisterEngineUnit();
        InitializeUnits();
    }
    void TearDown() override { FinalizeUnits(); }
};

const ::testing::Environment* const Engine = ::testing::AddGlobalTestEnvironment(new TEngineEnvironment);

}  // namespace
