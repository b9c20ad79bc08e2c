#include <string>

#include <gtest/gtest.h>

#include "factory/tfactory.h"

namespace {

// A product kind of its own, so these tests own every instance they see.
struct Widget {
    explicit Widget(int mode) : mode(mode) { ++alive; }
    ~Widget() { --alive; }
    int mode;
    static inline int alive = 0;
};

class WidgetFactory : public virtual factory::IFactory {
public:
    static WidgetFactory* getFactory();
    virtual Widget* getSingleton() = 0;
    virtual Widget* makeNew() = 0;
};

class WidgetFactoryImpl : public factory::TFactory<WidgetFactory> {
public:
    WidgetFactoryImpl() { setParameter("path", std::string("default")); }
    ~WidgetFactoryImpl() override {
        delete singleton_;
        singleton_ = nullptr;
    }
    Widget* getSingleton() override {
        if (singleton_ == nullptr) singleton_ = makeNew();
        return singleton_;
    }
    Widget* makeNew() override { return new Widget(getMode()); }

private:
    static inline Widget* singleton_ = nullptr;
};

WidgetFactory* WidgetFactory::getFactory() { return factory::TFactory<WidgetFactory>::instance<WidgetFactoryImpl>(); }

class FactoryTest : public ::testing::Test {
protected:
    void TearDown() override {
        factory::TFactory<WidgetFactory>::resetInstance();
        EXPECT_EQ(0, Widget::alive);
    }
};

TEST_F(FactoryTest, StartsFromDefaults) {
    WidgetFactory* f = WidgetFactory::getFactory();
    EXPECT_EQ(factory::DefaultMode, f->getMode());
    EXPECT_EQ("default", f->getParameterString("path"));
    EXPECT_EQ("", f->getParameterString("never"));
    EXPECT_EQ(0, f->getParameterNum("never"));
    EXPECT_EQ(f, WidgetFactory::getFactory());
}

TEST_F(FactoryTest, OneNameHoldsAStringAndAnInteger) {
    WidgetFactory* f = WidgetFactory::getFactory();
    f->setParameter("n", 42);
    f->setParameter("n", std::string("text"));
    f->setParameter("n", -1);
    EXPECT_EQ(-1, f->getParameterNum("n"));
    EXPECT_EQ("text", f->getParameterString("n"));
}

TEST_F(FactoryTest, ResetOfANeverCreatedFactoryDoesNothing) {
    factory::TFactory<WidgetFactory>::resetInstance();
    EXPECT_EQ(factory::DefaultMode, WidgetFactory::getFactory()->getMode());
}

TEST_F(FactoryTest, ModeAffectsOnlyNewProducts) {
    WidgetFactory* f = WidgetFactory::getFactory();
    f->setMode(factory::UnitTestMode);
    Widget* cached = f->getSingleton();
    f->setMode(7);
    EXPECT_EQ(cached, f->getSingleton());
    EXPECT_EQ(factory::UnitTestMode, cached->mode);
    Widget* fresh = f->makeNew();
    EXPECT_NE(cached, fresh);
    EXPECT_EQ(7, fresh->mode);
    delete fresh;
}

TEST_F(FactoryTest, ResetDestroysFactoryAndProduct) {
    WidgetFactory* f = WidgetFactory::getFactory();
    f->setMode(factory::UnitTestMode);
    f->setParameter("path", std::string("changed"));
    f->getSingleton();
    ASSERT_EQ(1, Widget::alive);
    f->reset();
    EXPECT_EQ(0, Widget::alive);
    WidgetFactory* again = WidgetFactory::getFactory();
    EXPECT_EQ(factory::DefaultMode, again->getMode());
    EXPECT_EQ("default", again->getParameterString("path"));
    EXPECT_EQ(factory::DefaultMode, again->getSingleton()->mode);
}

// A factory destroyed directly must not be handed out afterwards.
TEST_F(FactoryTest, DeletedInstanceIsForgotten) {
    WidgetFactory* f = WidgetFactory::getFactory();
    f->setMode(factory::UnitTestMode);
    delete f;
    EXPECT_EQ(factory::DefaultMode, WidgetFactory::getFactory()->getMode());
}

}  // namespace
