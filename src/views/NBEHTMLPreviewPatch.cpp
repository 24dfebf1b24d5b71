#include "NBEHTMLPreviewPatch.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

// Runs in the page's isolated world with the new text as `text`. Children
// lists keep their equal ends and pair what lies between in order: an edit
// after a typing pause is one place, so little more than it is touched.
// Attributes keep their order, as a load gives them. The changes are worked
// out first and made only when none brings code into the page. New nodes
// are moved in from the parsed document, which loads their pictures and
// style sheets.
const char *const patchScript = R"JS((function (text) {
  // A handler in an attribute is code too.
  function scripted(node) {
    var doc = node.ownerDocument || node;
    return !!((node.matches && node.matches('script, noscript')) ||
              node.querySelector('script, noscript') ||
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
  var changes = [], code = false;
  function syncAttributes(live, next) {
    if (sameAttributes(live, next)) return;
    code = code || handlerIn(next.attributes);
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
  try {
    var next = new DOMParser().parseFromString(text, 'text/html');
    if (!document.body || !next.body || document.body.nodeName !== 'BODY' ||
        next.body.nodeName !== 'BODY' || !sameOutside(document, next)) return false;
    // The page on screen keeps the answer from its first patch: later
    // patches only bring it checked nodes.
    if (!document.nbeScriptFree) {
      if (scripted(document)) return false;
      document.nbeScriptFree = true;
    }
    if (!document.head.isEqualNode(next.head)) {
      if (!headPatchable(document.head) || !headPatchable(next.head)) return false;
      syncAttributes(document.head, next.head);
      morphChildren(document.head, next.head);
    }
    syncAttributes(document.body, next.body);
    morphChildren(document.body, next.body);
    if (code) return false;
    changes.forEach(function (change) { change(); });
    return true;
  } catch (e) {
    return false;
  }
}))JS";

} // namespace

QString NBEHTMLPreviewPatch::script(const QString &html)
{
    // The text travels as a JSON string, which JavaScript reads as it is.
    const QByteArray quoted = QJsonDocument(QJsonArray{html}).toJson(QJsonDocument::Compact);
    return QString::fromLatin1(patchScript) + u'(' +
           QString::fromUtf8(quoted.constData() + 1, quoted.size() - 2) + u')';
}

bool NBEHTMLPreviewPatch::needsLoad(const QString &html)
{
    return html.contains(QLatin1String("<script"), Qt::CaseInsensitive);
}
