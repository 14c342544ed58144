// The extension catalog shipped inside the program. The same JSON form as the remote
// catalog, so both go through one decoder.
#include "BrisendoKit/Actions/ExtensionCatalog.h"

namespace pivorel {

std::string_view ExtensionCatalog::builtinJSON() {
    static constexpr std::string_view json = R"json(
{
  "version": 1,
  "updated": "2026-10-20",
  "items": [
    {
      "id": "aiqicha",
      "name": "爱企查",
      "symbol": "building.2",
      "category": "企业查询",
      "urlTemplate": "https://aiqicha.baidu.com/s?q={text}",
      "summary": "查企业、老板、风险、诉讼，不用登录就能看列表"
    },
    {
      "id": "tianyancha",
      "name": "天眼查",
      "symbol": "building.columns",
      "category": "企业查询",
      "urlTemplate": "https://www.tianyancha.com/search?key={text}",
      "summary": "查企业工商信息、股东、风险",
      "note": "需要先登录天眼查，登录后会回到搜索结果"
    },
    {
      "id": "qcc",
      "name": "企查查",
      "symbol": "building",
      "category": "企业查询",
      "urlTemplate": "https://www.qcc.com/web/search?key={text}",
      "summary": "查企业信用、关联关系",
      "note": "需要先登录企查查"
    },
    {
      "id": "bing",
      "name": "Bing 搜索",
      "symbol": "magnifyingglass",
      "category": "搜索引擎",
      "urlTemplate": "https://www.bing.com/search?q={text}",
      "summary": "微软必应，中英文都可用"
    },
    {
      "id": "baidu",
      "name": "百度搜索",
      "symbol": "magnifyingglass.circle",
      "category": "搜索引擎",
      "urlTemplate": "https://www.baidu.com/s?wd={text}",
      "summary": "中文网页、贴吧、百科"
    },
    {
      "id": "duckduckgo",
      "name": "DuckDuckGo",
      "symbol": "shield.lefthalf.filled",
      "category": "搜索引擎",
      "urlTemplate": "https://duckduckgo.com/?q={text}",
      "summary": "不追踪的搜索"
    },
    {
      "id": "perplexity",
      "name": "Perplexity",
      "symbol": "sparkle.magnifyingglass",
      "category": "AI 搜索",
      "urlTemplate": "https://www.perplexity.ai/search?q={text}",
      "summary": "带出处的 AI 回答",
      "note": "点一下就会立刻发起一次提问"
    },
    {
      "id": "metaso",
      "name": "秘塔 AI 搜索",
      "symbol": "sparkles",
      "category": "AI 搜索",
      "urlTemplate": "https://metaso.cn/?q={text}",
      "summary": "国内的 AI 搜索，中文资料多",
      "note": "点一下就会立刻发起一次搜索"
    },
    {
      "id": "claude",
      "name": "问 Claude",
      "symbol": "bubble.left.and.text.bubble.right",
      "category": "AI 搜索",
      "urlTemplate": "https://claude.ai/new?q={text}",
      "summary": "把选中的文字带进 Claude 新对话",
      "note": "文字会预填在输入框，需要自己按发送；要先登录 claude.ai"
    },
    {
      "id": "zhihu",
      "name": "知乎",
      "symbol": "questionmark.bubble",
      "category": "社区内容",
      "urlTemplate": "https://www.zhihu.com/search?type=content&q={text}",
      "summary": "问答和长文",
      "note": "登录后才能看到完整结果"
    },
    {
      "id": "xiaohongshu",
      "name": "小红书",
      "symbol": "book.pages",
      "category": "社区内容",
      "urlTemplate": "https://www.xiaohongshu.com/search_result?keyword={text}",
      "summary": "笔记、种草、攻略"
    },
    {
      "id": "bilibili",
      "name": "哔哩哔哩",
      "symbol": "play.rectangle",
      "category": "社区内容",
      "urlTemplate": "https://search.bilibili.com/all?keyword={text}",
      "summary": "视频与教程"
    },
    {
      "id": "douban",
      "name": "豆瓣",
      "symbol": "film",
      "category": "社区内容",
      "urlTemplate": "https://www.douban.com/search?q={text}",
      "summary": "书、影、音与小组讨论"
    },
    {
      "id": "weibo",
      "name": "微博",
      "symbol": "bubble.left.and.bubble.right",
      "category": "社区内容",
      "urlTemplate": "https://s.weibo.com/weibo?q={text}",
      "summary": "看看大家在说什么",
      "note": "需要先登录微博"
    },
    {
      "id": "reddit",
      "name": "Reddit",
      "symbol": "text.bubble",
      "category": "社区内容",
      "urlTemplate": "https://www.reddit.com/search/?q={text}",
      "summary": "英文社区讨论"
    },
    {
      "id": "youtube",
      "name": "YouTube",
      "symbol": "play.tv",
      "category": "社区内容",
      "urlTemplate": "https://www.youtube.com/results?search_query={text}",
      "summary": "视频搜索"
    },
    {
      "id": "github",
      "name": "GitHub",
      "symbol": "chevron.left.forwardslash.chevron.right",
      "category": "开发者",
      "urlTemplate": "https://github.com/search?q={text}",
      "summary": "搜仓库与代码"
    },
    {
      "id": "npm",
      "name": "npm",
      "symbol": "shippingbox",
      "category": "开发者",
      "urlTemplate": "https://www.npmjs.com/search?q={text}",
      "summary": "搜 JavaScript 包"
    },
    {
      "id": "hackernews",
      "name": "Hacker News",
      "symbol": "y.square",
      "category": "开发者",
      "urlTemplate": "https://hn.algolia.com/?q={text}",
      "summary": "搜 HN 上的讨论"
    },
    {
      "id": "wikipedia-zh",
      "name": "维基百科",
      "symbol": "character.book.closed",
      "category": "百科学术",
      "urlTemplate": "https://zh.wikipedia.org/wiki/Special:Search?search={text}",
      "summary": "中文维基，命中词条会直接打开"
    },
    {
      "id": "baidu-xueshu",
      "name": "百度学术",
      "symbol": "graduationcap",
      "category": "百科学术",
      "urlTemplate": "https://xueshu.baidu.com/s?wd={text}",
      "summary": "论文与期刊检索"
    },
    {
      "id": "google-translate",
      "name": "Google 翻译",
      "symbol": "translate",
      "category": "翻译词典",
      "urlTemplate": "https://translate.google.com/?sl=auto&tl=zh-CN&text={text}&op=translate",
      "summary": "自动识别语言，译成中文",
      "note": "需要能访问 Google"
    },
    {
      "id": "baidu-fanyi",
      "name": "百度翻译",
      "symbol": "globe.asia.australia",
      "category": "翻译词典",
      "urlTemplate": "https://fanyi.baidu.com/#en/zh/{text}",
      "summary": "英译中，文本直接带入"
    },
    {
      "id": "youdao-dict",
      "name": "有道词典",
      "symbol": "text.book.closed",
      "category": "翻译词典",
      "urlTemplate": "https://dict.youdao.com/search?q={text}",
      "summary": "中英词典，带例句"
    },
    {
      "id": "taobao",
      "name": "淘宝",
      "symbol": "cart",
      "category": "购物地图",
      "urlTemplate": "https://s.taobao.com/search?q={text}",
      "summary": "搜商品",
      "note": "需要先登录淘宝"
    },
    {
      "id": "jd",
      "name": "京东",
      "symbol": "bag",
      "category": "购物地图",
      "urlTemplate": "https://search.jd.com/Search?keyword={text}",
      "summary": "搜商品",
      "note": "需要先登录京东"
    },
    {
      "id": "google-maps",
      "name": "Google 地图",
      "symbol": "map",
      "category": "购物地图",
      "urlTemplate": "https://www.google.com/maps/search/{text}",
      "summary": "搜地点",
      "note": "需要能访问 Google"
    },
    {
      "id": "brave",
      "name": "Brave Search",
      "symbol": "magnifyingglass.circle.fill",
      "category": "搜索引擎",
      "urlTemplate": "https://search.brave.com/search?q={text}",
      "summary": "独立索引的搜索，带 AI 摘要"
    },
    {
      "id": "sogou",
      "name": "搜狗搜索",
      "symbol": "magnifyingglass",
      "category": "搜索引擎",
      "urlTemplate": "https://www.sogou.com/web?query={text}",
      "summary": "中文网页，能搜微信公众号文章"
    },
    {
      "id": "so360",
      "name": "360 搜索",
      "symbol": "magnifyingglass.circle",
      "category": "搜索引擎",
      "urlTemplate": "https://www.so.com/s?q={text}",
      "summary": "中文网页、资讯、百科"
    },
    {
      "id": "juejin",
      "name": "掘金",
      "symbol": "chevron.left.slash.chevron.right",
      "category": "社区内容",
      "urlTemplate": "https://juejin.cn/search?query={text}",
      "summary": "中文技术文章与讨论"
    },
    {
      "id": "csdn",
      "name": "CSDN",
      "symbol": "doc.text.magnifyingglass",
      "category": "社区内容",
      "urlTemplate": "https://so.csdn.net/so/search?q={text}",
      "summary": "中文技术博客与问答"
    },
    {
      "id": "tieba",
      "name": "百度贴吧",
      "symbol": "person.3",
      "category": "社区内容",
      "urlTemplate": "https://tieba.baidu.com/f/search/res?qw={text}",
      "summary": "贴吧里的讨论"
    },
    {
      "id": "xueqiu",
      "name": "雪球",
      "symbol": "chart.line.uptrend.xyaxis",
      "category": "社区内容",
      "urlTemplate": "https://xueqiu.com/k?q={text}",
      "summary": "股票、基金和投资者的讨论",
      "note": "登录后才能看到完整结果"
    },
    {
      "id": "36kr",
      "name": "36氪",
      "symbol": "newspaper",
      "category": "社区内容",
      "urlTemplate": "https://36kr.com/search/articles/{text}",
      "summary": "创业与科技媒体的相关文章"
    },
    {
      "id": "mdn",
      "name": "MDN",
      "symbol": "globe",
      "category": "开发者",
      "urlTemplate": "https://developer.mozilla.org/en-US/search?q={text}",
      "summary": "Web 开发文档（HTML、CSS、JavaScript）"
    },
    {
      "id": "appledev",
      "name": "Apple 开发者文档",
      "symbol": "apple.logo",
      "category": "开发者",
      "urlTemplate": "https://developer.apple.com/search/?q={text}",
      "summary": "Apple 官方文档与教程"
    },
    {
      "id": "pypi",
      "name": "PyPI",
      "symbol": "shippingbox.fill",
      "category": "开发者",
      "urlTemplate": "https://pypi.org/search/?q={text}",
      "summary": "搜 Python 包"
    },
    {
      "id": "arxiv",
      "name": "arXiv",
      "symbol": "doc.richtext",
      "category": "百科学术",
      "urlTemplate": "https://arxiv.org/search/?query={text}&searchtype=all",
      "summary": "预印本论文检索"
    },
    {
      "id": "wikipedia-en",
      "name": "Wikipedia (English)",
      "symbol": "character.book.closed.fill",
      "category": "百科学术",
      "urlTemplate": "https://en.wikipedia.org/wiki/Special:Search?search={text}",
      "summary": "英文维基，命中词条会直接打开"
    },
    {
      "id": "baike",
      "name": "百度百科",
      "symbol": "book.closed",
      "category": "百科学术",
      "urlTemplate": "https://baike.baidu.com/search?word={text}",
      "summary": "中文百科词条"
    },
    {
      "id": "bing-dict",
      "name": "必应词典",
      "symbol": "text.book.closed.fill",
      "category": "翻译词典",
      "urlTemplate": "https://cn.bing.com/dict/search?q={text}",
      "summary": "中英词典，带发音和例句"
    },
    {
      "id": "linguee",
      "name": "Linguee",
      "symbol": "text.quote",
      "category": "翻译词典",
      "urlTemplate": "https://www.linguee.com/english-chinese/search?query={text}",
      "summary": "双语例句词典，看词在真实文章里怎么用"
    },
    {
      "id": "cambridge",
      "name": "Cambridge Dictionary",
      "symbol": "character.book.closed",
      "category": "翻译词典",
      "urlTemplate": "https://dictionary.cambridge.org/search/direct/?datasetsearch=english-chinese-simplified&q={text}",
      "summary": "英语词典，带中文释义"
    },
    {
      "id": "google-translate-en",
      "name": "Google Translate (to English)",
      "symbol": "translate",
      "category": "翻译词典",
      "urlTemplate": "https://translate.google.com/?sl=auto&tl=en&text={text}&op=translate",
      "summary": "自动识别语言，译成英文",
      "note": "需要能访问 Google"
    },
    {
      "id": "smzdm",
      "name": "什么值得买",
      "symbol": "tag",
      "category": "购物地图",
      "urlTemplate": "https://search.smzdm.com/?s={text}",
      "summary": "查商品的历史价格和好价"
    }
  ]
})json";
    return json;
}

}  // namespace pivorel
