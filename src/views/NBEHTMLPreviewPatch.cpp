#include "NBEHTMLPreviewPatch.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <algorithm>

namespace {

// Defines the patcher once in the page's isolated world. Children lists keep
// their equal ends and pair what lies between in order: an edit after a
// typing pause is one place, so little more than it is touched. Attributes
// keep their order, as a load gives them. The changes are worked out first
// and made only when none brings code into the page. New nodes are moved in
// from the parsed document, which loads their pictures and style sheets.
const char *const patcherScript = R"JS((function () {
  if (window.nbePatcher) return;
  // A handler in an attribute is code too. A script whose type names JSON
  // is data that never runs (no kind of code has such a type).
  var runnable = 'script:not([type$="json" i])';
  function scripted(node) {
    var doc = node.ownerDocument || node;
    return !!((node.matches && node.matches(runnable)) || node.querySelector(runnable) ||
              doc.evaluate(".//@*[starts-with(name(), 'on')]", node, null,
                           XPathResult.FIRST_ORDERED_NODE_TYPE, null).singleNodeValue);
  }
  function handlerIn(attributes) {
    for (var i = 0; i < attributes.length; ++i) {
      if (attributes[i].name.slice(0, 2).toLowerCase() === 'on') return true;
    }
    return false;
  }
  function sameNames(a, b) {
    if (a.length !== b.length) return false;
    for (var i = 0; i < a.length; ++i) {
      if (a[i].name !== b[i].name || a[i].namespaceURI !== b[i].namespaceURI) return false;
    }
    return true;
  }
  function sameAttributes(a, b) {
    if (!sameNames(a.attributes, b.attributes)) return false;
    for (var i = 0; i < a.attributes.length; ++i) {
      if (a.attributes[i].value !== b.attributes[i].value) return false;
    }
    return true;
  }
  // The page was parsed with scripting on, where a noscript holds its
  // content as text; this parser runs with it off, where that content is
  // markup (a style sheet in it would apply, and in the head it would end
  // the head). So each noscript tag is read as a noframes one, the element
  // this parser takes as text in the same places, and made a noscript again
  // after the parse, the words changed in text put back. A start tag carries
  // its number as an attribute: there is no space to put in, which would
  // end an unquoted attribute value holding the tag.
  var noscriptTag = /<(\/?)(noscript)(?=[\t\n\f\r \/>]|$)/gi;
  var noframesTag = /<(\/?)(noframes)(\/nbe-noscript-\d+)?(?=[\t\n\f \/>]|$)/gi;
  var mark = /^nbe-noscript-(\d+)$/;
  function recase(word, to) {
    var out = '';
    for (var i = 0; i < word.length; ++i) {
      out += word[i] === word[i].toLowerCase() ? to[i] : to[i].toUpperCase();
    }
    return out;
  }
  function parse(text) {
    var parser = new DOMParser();
    if (!/<\/?noscript/i.test(text)) return parser.parseFromString(text, 'text/html');
    // Words of the stand-in already there couldn't be told from it.
    if (/noframes|nbe-noscript-/i.test(text)) return null;
    var starts = [], grown = 0;
    var read = text.replace(noscriptTag, function (tag, slash, name, at) {
      var stand = '<' + slash + recase(name, 'noframes');
      if (slash) return stand;
      starts.push(at + grown);
      stand += '/nbe-noscript-' + (starts.length - 1);
      grown += stand.length - tag.length;
      return stand;
    });
    var doc = parser.parseFromString(read, 'text/html');
    function putBack(value) {
      return value.replace(noframesTag, function (tag, slash, name) {
        return '<' + slash + recase(name, 'noscript');
      });
    }
    // Where the head was closed already, a noscript opens the body: the
    // noframes went into the head instead.
    function afterHead(start) {
      var probe = parser.parseFromString(read.slice(0, start) + '<!--nbe-->', 'text/html');
      var last = probe.evaluate('(//comment())[last()]', probe, null,
                                XPathResult.FIRST_ORDERED_NODE_TYPE, null).singleNodeValue;
      return !!(last && probe.head && last.parentNode === probe.documentElement &&
                probe.head.compareDocumentPosition(last) & Node.DOCUMENT_POSITION_FOLLOWING);
    }
    function restore(root) {
      var found = root.querySelectorAll('noframes'), i, k;
      for (i = 0; i < found.length; ++i) {
        var stand = found[i], first = stand.attributes[0];
        var number = first && mark.exec(first.name);
        if (!number) return false;
        if (stand.parentNode === doc.head && afterHead(starts[+number[1]])) return false;
        var twin = stand.ownerDocument.createElementNS(stand.namespaceURI, 'noscript');
        stand.removeAttributeNode(first);
        while (stand.attributes.length) {
          twin.setAttributeNode(stand.removeAttributeNode(stand.attributes[0]));
        }
        while (stand.firstChild) twin.appendChild(stand.firstChild);
        stand.parentNode.replaceChild(twin, stand);
      }
      // Only the few strings that hold the word are visited, found by the
      // engine rather than by walking every node. A template's content is
      // searched from each of its nodes.
      var lower = "translate(%, 'NOFRAMES', 'noframes'), 'noframes')]";
      var names = 'descendant-or-self::*/@*[contains(' + lower.replace('%', 'name()');
      var words = '(descendant-or-self::text() | descendant-or-self::comment() | ' +
                  'descendant-or-self::*/@*)[contains(' + lower.replace('%', '.');
      var from = root.nodeType === Node.DOCUMENT_FRAGMENT_NODE ? root.childNodes : [root];
      for (i = 0; i < from.length; ++i) {
        var owner = from[i].ownerDocument || from[i];
        var all = function (path) {
          return owner.evaluate(path, from[i], null, XPathResult.ORDERED_NODE_SNAPSHOT_TYPE, null);
        };
        if (all(names).snapshotLength) return false;
        var strings = all(words);
        for (k = 0; k < strings.snapshotLength; ++k) {
          var node = strings.snapshotItem(k);
          node.nodeValue = putBack(node.nodeValue);
        }
      }
      var templates = root.querySelectorAll('template');
      for (k = 0; k < templates.length; ++k) {
        if (!restore(templates[k].content)) return false;
      }
      return true;
    }
    return restore(doc) ? doc : null;
  }
  // Everything but the head and the body must be as it was: the doctype, the
  // root's attributes and whatever lies around them.
  function sameOutside(live, next) {
    var have = live.childNodes, want = next.childNodes;
    if (have.length !== want.length) return false;
    for (var i = 0; i < have.length; ++i) {
      if (have[i] === live.documentElement) {
        if (want[i] !== next.documentElement ||
            !sameAttributes(live.documentElement, next.documentElement)) return false;
        var inner = have[i].childNodes, nextInner = want[i].childNodes;
        if (inner.length !== nextInner.length) return false;
        for (var k = 0; k < inner.length; ++k) {
          if (inner[k] === live.head ? nextInner[k] !== next.head
              : inner[k] === live.body ? nextInner[k] !== next.body
              : !inner[k].isEqualNode(nextInner[k])) return false;
        }
      } else if (!have[i].isEqualNode(want[i])) {
        return false;
      }
    }
    return true;
  }
  // A base address or a header equivalent acts when it is parsed only.
  function headPatchable(head) {
    return head && head.nodeName === 'HEAD' && !head.querySelector('base, meta[http-equiv]');
  }
  // The changes that bring the page to `text`, or null where only a load
  // shows it.
  function plan(text) {
    var changes = [], code = false;
    function syncAttributes(live, next) {
      if (sameAttributes(live, next)) return;
      // A script given another type would run only in a load.
      code = code || handlerIn(next.attributes) || live.nodeName === 'SCRIPT';
      changes.push(function () {
        var have = live.attributes, want = next.attributes, i;
        if (sameNames(have, want)) {
          for (i = 0; i < want.length; ++i) {
            if (have[i].value !== want[i].value) have[i].value = want[i].value;
          }
          return;
        }
        while (have.length) live.removeAttributeNode(have[0]);
        for (i = 0; i < want.length; ++i) {
          live.setAttributeNodeNS(document.importNode(want[i], false));
        }
      });
    }
    function checked(next) {
      code = code || (next.nodeType === Node.ELEMENT_NODE && scripted(next));
    }
    function replace(live, next) {
      checked(next);
      changes.push(function () { live.parentNode.replaceChild(document.adoptNode(next), live); });
    }
    function remove(parent, node) {
      changes.push(function () { parent.removeChild(node); });
    }
    function insert(parent, next, before) {
      checked(next);
      changes.push(function () { parent.insertBefore(document.adoptNode(next), before); });
    }
    function morph(live, next) {
      if (live.nodeType !== next.nodeType || live.nodeName !== next.nodeName ||
          live.nodeName === 'TEMPLATE') {
        replace(live, next);
      } else if (live.nodeType === Node.ELEMENT_NODE) {
        syncAttributes(live, next);
        morphChildren(live, next);
      } else if (live.nodeValue !== next.nodeValue) {
        changes.push(function () { live.nodeValue = next.nodeValue; });
      }
    }
    function morphChildren(live, next) {
      var have = Array.prototype.slice.call(live.childNodes);
      var want = Array.prototype.slice.call(next.childNodes);
      var start = 0, haveEnd = have.length, wantEnd = want.length;
      while (start < haveEnd && start < wantEnd && have[start].isEqualNode(want[start])) ++start;
      while (haveEnd > start && wantEnd > start &&
             have[haveEnd - 1].isEqualNode(want[wantEnd - 1])) {
        --haveEnd;
        --wantEnd;
      }
      var before = haveEnd < have.length ? have[haveEnd] : null;
      var k = start;
      for (; k < haveEnd && k < wantEnd; ++k) morph(have[k], want[k]);
      for (var i = k; i < haveEnd; ++i) remove(live, have[i]);
      for (var j = k; j < wantEnd; ++j) insert(live, want[j], before);
    }
    try {
      var next = parse(text);
      if (!next || !document.body || !next.body || document.body.nodeName !== 'BODY' ||
          next.body.nodeName !== 'BODY' || !sameOutside(document, next)) return null;
      // The page on screen keeps the answer from its first patch: later
      // patches only bring it checked nodes.
      if (!document.nbeScriptFree) {
        if (scripted(document)) return null;
        document.nbeScriptFree = true;
      }
      if (!document.head.isEqualNode(next.head)) {
        if (!headPatchable(document.head) || !headPatchable(next.head)) return null;
        syncAttributes(document.head, next.head);
        morphChildren(document.head, next.head);
      }
      syncAttributes(document.body, next.body);
      morphChildren(document.body, next.body);
      return code ? null : changes;
    } catch (e) {
      return null;
    }
  }
  // The text held and its number, and the changes worked out for it. The
  // changes go stale when the page changes before they are made (the reader
  // opening a details box); they are then worked out again.
  var held = { version: null, text: null, changes: null, pending: false, moved: false,
               watch: null };
  function forget() {
    if (held.watch) held.watch.disconnect();
    held.version = held.text = held.changes = held.watch = null;
    held.pending = false;
  }
  window.nbePatcher = {
    prepare: function (version, base, from, removed, inserted) {
      var text;
      if (base === null) {
        text = inserted;
      } else if (base !== held.version || held.text === null) {
        forget();
        return 'stale';
      } else {
        text = held.text.slice(0, from) + inserted + held.text.slice(from + removed);
      }
      forget();
      held.version = version;
      held.text = text;
      held.changes = plan(text);
      held.pending = true;
      held.watch = new MutationObserver(function () { held.moved = true; });
      held.moved = false;
      held.watch.observe(document, { subtree: true, childList: true, attributes: true,
                                     characterData: true });
      return held.changes ? 'ready' : 'load';
    },
    apply: function (version) {
      if (!held.pending || held.version !== version) return 'none';
      var changes = held.changes;
      if (held.moved || held.watch.takeRecords().length) changes = plan(held.text);
      held.watch.disconnect();
      held.watch = held.changes = null;
      held.pending = false;
      if (!changes) return 'load';
      changes.forEach(function (change) { change(); });
      return 'done';
    }
  };
})();
)JS";

// A string as JavaScript reads it: JSON's quoting.
QString quoted(QStringView text)
{
    const QByteArray json =
        QJsonDocument(QJsonArray{text.toString()}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.constData() + 1, json.size() - 2);
}

QString prepareCall(quint64 version, std::optional<quint64> baseVersion,
                    const NBEHTMLPreviewPatch::Span &span, QStringView inserted)
{
    return QStringLiteral("window.nbePatcher.prepare(%1, %2, %3, %4, %5)")
        .arg(QString::number(version),
             baseVersion ? QString::number(*baseVersion) : QStringLiteral("null"),
             QString::number(span.from), QString::number(span.removed), quoted(inserted));
}

} // namespace

QString NBEHTMLPreviewPatch::prepareScript(quint64 version, const QString &text,
                                           std::optional<quint64> baseVersion, const QString &base)
{
    if (!baseVersion)
        return QString::fromLatin1(patcherScript) +
               prepareCall(version, std::nullopt, Span{0, 0, text.size()}, text);
    const Span span = differingSpan(base, text);
    return QString::fromLatin1(patcherScript) +
           prepareCall(version, baseVersion, span, QStringView(text).mid(span.from, span.inserted));
}

QString NBEHTMLPreviewPatch::applyScript(quint64 version)
{
    return QStringLiteral("window.nbePatcher ? window.nbePatcher.apply(%1) : '%2'")
        .arg(QString::number(version), QString::fromLatin1(absent));
}

QString NBEHTMLPreviewPatch::patchScript(quint64 version, const QString &text)
{
    return prepareScript(version, text) + u';' + applyScript(version);
}

bool NBEHTMLPreviewPatch::needsLoad(const QString &html)
{
    // Only a script that plainly holds JSON data goes to the page, which
    // tells for certain.
    static const QRegularExpression data(
        QStringLiteral(R"(<script[^>]*\stype\s*=\s*(["']?)[^"'\s>]*json\1[\s/>])"),
        QRegularExpression::CaseInsensitiveOption);
    const QLatin1String tag("<script");
    for (qsizetype at = html.indexOf(tag, 0, Qt::CaseInsensitive); at >= 0;
         at = html.indexOf(tag, at + tag.size(), Qt::CaseInsensitive)) {
        if (!data.match(html, at, QRegularExpression::NormalMatch,
                        QRegularExpression::AnchorAtOffsetMatchOption)
                 .hasMatch())
            return true;
    }
    return false;
}

NBEHTMLPreviewPatch::Span NBEHTMLPreviewPatch::differingSpan(const QString &base,
                                                             const QString &text)
{
    const qsizetype shorter = std::min(base.size(), text.size());
    qsizetype from =
        std::mismatch(base.cbegin(), base.cbegin() + shorter, text.cbegin()).first - base.cbegin();
    const qsizetype room = shorter - from;
    qsizetype tail =
        std::mismatch(base.crbegin(), base.crbegin() + room, text.crbegin()).first - base.crbegin();
    return {from, base.size() - from - tail, text.size() - from - tail};
}
