#include "portal/pages.h"

#include "portal/html.h"
#include "portal/mediatype.h"

namespace portal {

namespace {

constexpr std::string_view PortalName = "磁石种子搜索";

std::string Header(std::string_view heading) {
    return "<header><h1>" + HtmlEscape(heading) + "</h1></header>\n<main>\n";
}

constexpr std::string_view Footer =
    "<footer>示例资源均为公有领域作品或本门户自行生成的图片、视频与声音，仅供演示。</footer>\n"
    "</main>";

std::string HiddenField(std::string_view name, std::string_view value) {
    return "<input type=\"hidden\" name=\"" + std::string(name) + "\" value=\"" +
           HtmlEscape(value) + "\">";
}

std::string SearchForm(const ClientQuery& query) {
    return "<form method=\"get\" action=\"/client\">" + HiddenField("v", query.v) +
           HiddenField("c", query.c) + HiddenField("so", query.so) +
           "<input type=\"text\" name=\"t\" value=\"" + HtmlEscape(query.t) +
           "\" placeholder=\"输入名称、文件名或信息哈希\" autofocus>"
           "<button type=\"submit\">搜索</button></form>\n";
}

std::string FileCount(const Torrent& torrent) {
    return torrent.multiFile ? std::to_string(torrent.files.size()) + " 个文件" : "单个文件";
}

std::string ResultRow(const Torrent& torrent, const Sites& sites) {
    return "<tr><td>" + HtmlEscape(torrent.title) + "<div class=\"muted\">" +
           HtmlEscape(torrent.name) + " · " + FileCount(torrent) + "</div><div class=\"hash\">" +
           torrent.infoHash + "</div></td><td>" + FormatSize(torrent.totalLength) +
           "</td><td class=\"actions\"><a href=\"" + PlayLink(sites, torrent) +
           "\" target=\"_blank\">在线播放</a><a href=\"" + TorrentLink(sites, torrent) +
           "\" target=\"_blank\">下载种子</a><a href=\"" + SaveLink(sites, torrent) +
           "\">保存种子文件</a></td></tr>\n";
}

std::string FileTable(const Torrent& torrent) {
    std::string rows = "<table><tr><th>文件</th><th>大小</th></tr>\n";
    for (const TorrentFile& file : torrent.files)
        rows += "<tr><td>" + HtmlEscape(file.path) + "</td><td>" + FormatSize(file.length) +
                "</td></tr>\n";
    return rows + "</table>\n";
}

std::string CacheLink(std::string_view site, const std::string& path, std::string_view label) {
    return "<li><a href=\"" + HttpUrl(site, path) + "\" class=\"cache-link\">" +
           std::string(label) + "</a></li>\n";
}

std::string_view StatusText(int status) {
    switch (status) {
    case 400:
        return "请求有误，无法处理。";
    case 404:
        return "您要找的页面或资源不存在。";
    case 405:
        return "不支持这种请求方法。";
    case 413:
        return "请求内容太大。";
    case 414:
        return "请求地址太长。";
    case 416:
        return "请求的范围不在文件之内。";
    default:
        return status >= 500 ? "服务器出了点问题，请稍后再试。" : "请求未能完成。";
    }
}

// Shows the chosen file of the list; the first video or sound (else the
// first file) starts on its own. The engine may keep a page from sounding
// before the user has clicked in it: a video then plays muted.
constexpr std::string_view PlayerScript = R"(<script>
(function () {
  var stage = document.getElementById('stage'), note = document.getElementById('note');
  var choices = Array.prototype.slice.call(document.querySelectorAll('.files button'));
  function say(text) { note.textContent = text; note.hidden = !text; }
  function show(choice) {
    choices.forEach(function (each) { each.className = each === choice ? 'current' : ''; });
    stage.textContent = '';
    say('');
    var kind = choice.getAttribute('data-kind'), src = choice.getAttribute('data-src');
    if (kind === 'video' || kind === 'audio') {
      var media = document.createElement(kind);
      media.controls = true;
      media.onerror = function () { say('无法播放这个文件。'); };
      media.src = src;
      stage.appendChild(media);
      media.play().catch(function (error) {
        if (error.name !== 'NotAllowedError' || !media.isConnected) return;
        if (kind === 'audio') return say('点击播放键即可收听。');
        media.muted = true;
        media.play().then(function () { say('已静音播放，点击音量键即可打开声音。'); },
                          function () { say('点击播放键即可观看。'); });
      });
    } else if (kind === 'image') {
      var image = document.createElement('img');
      image.src = src;
      image.alt = choice.textContent;
      stage.appendChild(image);
    } else if (kind === 'text') {
      var text = document.createElement('pre');
      stage.appendChild(text);
      fetch(src).then(function (reply) { return reply.text(); })
        .then(function (content) { text.textContent = content; },
              function () { say('无法读取这个文件。'); });
    } else {
      say('这种文件不能在线预览。');
    }
  }
  choices.forEach(function (each) {
    each.addEventListener('click', function () { show(each); });
  });
  var first = choices.filter(function (each) {
    return /^(video|audio)$/.test(each.getAttribute('data-kind'));
  })[0] || choices[0];
  if (first) show(first);
})();
</script>)";

} // namespace

std::string ClientPage(const Catalogue& catalogue, const Sites& sites, const ClientQuery& query) {
    const std::vector<const Torrent*> found = catalogue.Search(query.t);
    std::string body = Header(PortalName) + SearchForm(query);
    const std::string count = "共 " + std::to_string(found.size()) + " 条";
    body += query.t.empty() ? "<p class=\"muted\">全部资源，" + count + "。</p>\n"
                            : "<p class=\"muted\">“" + HtmlEscape(query.t) + "”的搜索结果，" +
                                  count + "。</p>\n";
    if (found.empty()) {
        body += "<p class=\"note\">没有找到相关资源，换个关键词试试吧。</p>\n";
    } else {
        body += "<table><tr><th>名称</th><th>大小</th><th>操作</th></tr>\n";
        for (const Torrent* torrent : found)
            body += ResultRow(*torrent, sites);
        body += "</table>\n";
    }
    return HtmlDocument(PortalName, body + std::string(Footer));
}

std::string TorrentPage(const Torrent& torrent, const Sites& sites) {
    std::string body = Header("种子详情") + "<h2>种子下载</h2>\n<ul>\n" +
                       CacheLink(sites.cacheA, CacheAPath(torrent.infoHash), "缓存服务器 A") +
                       CacheLink(sites.cacheB, CacheBPath(torrent.infoHash), "缓存服务器 B") +
                       "</ul>\n<h2>" + HtmlEscape(torrent.title) + "</h2>\n<table>" +
                       "<tr><th>名称</th><td>" + HtmlEscape(torrent.name) + "</td></tr>" +
                       "<tr><th>大小</th><td>" + FormatSize(torrent.totalLength) + "（" +
                       std::to_string(torrent.totalLength) + " 字节，" + FileCount(torrent) +
                       "）</td></tr>" + "<tr><th>信息哈希</th><td class=\"hash\">" +
                       torrent.infoHash + "</td></tr>" + "<tr><th>磁力链接</th><td><code>" +
                       HtmlEscape(MagnetUri(torrent)) + "</code></td></tr></table>\n" +
                       "<h2>文件列表</h2>\n" + FileTable(torrent);
    return HtmlDocument("种子详情 - " + std::string(PortalName), body + std::string(Footer));
}

std::string PlayerPage(const Torrent& torrent) {
    std::string choices = "<ul class=\"files\">\n";
    for (std::size_t i = 0; i < torrent.files.size(); ++i) {
        const TorrentFile& file = torrent.files[i];
        choices += "<li><button type=\"button\" data-kind=\"" +
                   std::string(MediaTypeOf(file.path).kind) + "\" data-src=\"" +
                   PlayerFilePath(torrent.infoHash, i) + "\">" + HtmlEscape(file.path) +
                   "</button> <span class=\"muted\">" + FormatSize(file.length) + "</span></li>\n";
    }
    const std::string body =
        Header("磁石云播放") + "<h2>" + HtmlEscape(torrent.title) + "</h2>\n" +
        "<div id=\"stage\" class=\"stage\"></div>\n<p id=\"note\" class=\"note\" hidden></p>\n" +
        choices + "</ul>\n<p class=\"muted\">磁力链接：<code>" + HtmlEscape(MagnetUri(torrent)) +
        "</code></p>\n" +
        "<p><a href=\"/lumacast/help.html\" target=\"_blank\">在新窗口打开说明</a></p>\n</main>\n" +
        std::string(PlayerScript);
    return HtmlDocument("正在播放 - " + torrent.title, body);
}

std::string PlayerHelpPage() {
    const std::string body =
        Header("播放说明") +
        "<p>这个播放页属于随客户端附带的示例门户，用来演示客户端的播放窗口。</p>\n"
        "<p>它从门户自己保存的文件播放种子中的视频和音频，也显示其中的图片和文字；"
        "在文件列表中点一个文件即可切换。拖动进度条时，只会取回所需的那一段。</p>\n</main>";
    return HtmlDocument("播放说明", body);
}

std::string NoticePage(const Sites& sites, std::string_view version) {
    const std::string shareAddress =
        HttpUrl(sites.notice, "/share?id=" + std::string(ShareId) + "&amp;from=notice");
    const std::string body = Header("磁石客户端博客") + "<div class=\"article\"><h2>软件更新</h2>" +
                             "<p>客户端有新的版本时，我们会在这里公布。</p>" + "<p>最新版本号：" +
                             std::string(version) + "</p><p>下载地址：" + shareAddress +
                             "</p><p><br /></p> </div>\n</main>";
    return HtmlDocument("客户端更新公告", body);
}

std::string SharePage(const Sites& sites) {
    const std::string name = UpdatePackageName();
    // The share service writes the link as a JSON text inside a script string:
    // quotes escaped once, slashes escaped twice.
    const std::string script = R"(<script>
var disk = {util: {init: function (data) {
  document.getElementById("download").href = JSON.parse(data).dlink;
}}};
var yunData = "{\"dlink\":\"http:\\/\\/)" +
                               sites.notice + R"(\\/download\\/)" + name +
                               R"(\"}";disk.util.init(yunData);
</script>)";
    const std::string body = Header("网盘分享") + "<p class=\"muted\">百度网盘 · 示例分享页</p>\n" +
                             "<table><tr><th>文件</th><td>" + name + "</td></tr></table>\n" +
                             "<p><a id=\"download\" href=\"" + DownloadPath(name) +
                             "\">下载文件</a></p>\n</main>\n" + script;
    return HtmlDocument(name + " - 分享", body);
}

std::string ErrorPage(int status) {
    const std::string body = Header("出错了") + "<p class=\"note\">" + std::to_string(status) +
                             "：" + std::string(StatusText(status)) + "</p>\n</main>";
    return HtmlDocument(std::to_string(status), body);
}

} // namespace portal
