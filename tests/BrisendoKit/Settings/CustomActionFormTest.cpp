#include "BrisendoKit/Settings/CustomActionForm.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Settings/ActionRow.h"

#include "BrisendoKit/Actions/ActionsSettingsModel.h"
#include "TempDir.h"

using namespace pivorel;

namespace {

bool known(std::string_view name) {
    return name == "magnifyingglass" || name == "globe";
}

using Field = CustomActionForm::Field;

}  // namespace

TEST(CustomActionForm, SavingShowsTheFirstFailingCheckUnderItsField) {
    CustomActionForm form(known);
    EXPECT_TRUE(form.isNew());

    form.setName(" \n ");
    form.setURLTemplate("https://example.com/?q={text}");
    EXPECT_EQ(form.submit(), std::nullopt);
    EXPECT_EQ(form.error(), (CustomActionForm::Error{Field::name, "请填一个名称"}));

    form.setName("Perplexity");
    EXPECT_EQ(form.error(), std::nullopt);  // an edit clears the message
    form.setURLTemplate("https://example.com/?q={text} x");
    EXPECT_EQ(form.submit(), std::nullopt);
    EXPECT_EQ(form.error(), (CustomActionForm::Error{Field::urlTemplate, "模板里不能有空格"}));

    form.setName("  Perplexity ");
    form.setSymbol(" magnifyingglass ");
    form.setURLTemplate(" https://www.perplexity.ai/search?q={text}\n");
    const auto action = form.submit();
    ASSERT_TRUE(action);
    EXPECT_EQ(action->id.rfind("custom:", 0), 0u);
    EXPECT_EQ(action->name, "Perplexity");
    EXPECT_EQ(action->symbol, "magnifyingglass");
    EXPECT_EQ(action->urlTemplate, "https://www.perplexity.ai/search?q={text}");
}

TEST(CustomActionForm, EditingKeepsTheIdentityAndUnknownSymbolsOfferThePicker) {
    const CustomAction existing{"custom:0b7e1c1e-6c3a-4b59-9b0a-3f3c5b8f2a11", "Bing", "nosuch",
                                "https://www.bing.com/search?q={text}", "bing"};
    CustomActionForm form(existing, known);
    EXPECT_FALSE(form.isNew());
    EXPECT_FALSE(form.symbolKnown());
    EXPECT_EQ(form.previewSymbol(), "questionmark.square.dashed");
    form.setSymbol("");
    EXPECT_FALSE(form.symbolKnown());
    form.setSymbol("globe");
    EXPECT_TRUE(form.symbolKnown());
    EXPECT_EQ(form.previewSymbol(), "globe");

    form.setName("必应");
    const auto saved = form.submit();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->id, existing.id);
    EXPECT_EQ(saved->presetID, "bing");
    EXPECT_EQ(saved->name, "必应");
}

TEST(ActionRow, TagsTheActionsOnTheBarAndDescribesHiddenOnes) {
    test::TempDir dir;
    ActionsSettingsModel model(ActionConfigStore{dir.path() / "actions.json"});
    auto rows = ActionRow::rows(model);
    ASSERT_GT(rows.size(), 5u);
    EXPECT_TRUE(rows[3].onBar);
    EXPECT_FALSE(rows[4].onBar);
    EXPECT_EQ(rows[0].eyeHelp, "显示中，点此隐藏");

    // Hiding one of the first four lets the fifth onto the bar.
    model.setHidden(ActionID{"flomo"}, true);
    model.upsert({"custom:0b7e1c1e-6c3a-4b59-9b0a-3f3c5b8f2a11", "Bing", "magnifyingglass",
                  "https://www.bing.com/search?q={text}", std::nullopt});
    const auto builtins = rows.size();
    rows = ActionRow::rows(model);
    ASSERT_EQ(rows.size(), builtins + 1);
    EXPECT_TRUE(rows[1].hidden);
    EXPECT_FALSE(rows[1].onBar);
    EXPECT_EQ(rows[1].eyeHelp, "已隐藏，点此显示");
    EXPECT_EQ(rows[1].accessibilityLabel, rows[1].title + "，已隐藏");
    EXPECT_TRUE(rows[4].onBar);
    EXPECT_FALSE(rows[5].onBar);
    EXPECT_TRUE(rows.back().custom);
    EXPECT_EQ(rows.back().title, "Bing");

    EXPECT_NE(ActionRow::smartDescription(true), ActionRow::smartDescription(false));
    EXPECT_EQ(ActionRow::smartDescription(false).rfind("已关闭：", 0), 0u);
}
