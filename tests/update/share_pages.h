#pragma once

// Pages of the share site as its browser users get them, reduced to what the resolution reads.

#include "tests/update/update_site.h"
#include "update/update_addresses.h"

#include <string>

namespace updatetest {

/// The share site's hosts under the current label.
inline const std::string kShareHost = "www." + std::string(update::kShareLabel) + ".com";
inline const std::string kEndpointHost = std::string(update::kShareLabel) + ".com";

/// A frame path as share pages carry it.
inline const std::string kFramePath = "/fn?UzUBa1loVzNRYFY2UTdROlo3ADwJMlM6UDdRNQA0";
/// A signature of 80 letters and digits with the site's suffix.
inline const std::string kSignature =
    "AGNSP1pqAzFRWAQ6UGFWZwBoDzEHM1YnBDhRMFY9AWNQM1NkX2UBaVU2UmVUYFBkB2gDOAJhV2pSYlRm_c_c";
/// The file link's parts in the endpoint's answer and the direct address its redirect names.
inline const std::string kFileDom = "https://" + std::string(kFileHost);
inline const std::string kFileId = "?BmFUbFtqUGQLMlY3AjVXZlQ4VGUBbgJgVzRVYFAzAW0";
inline const std::string kFileTarget = "/file/" + kFileId;
inline const std::string kDirectAddress = kFileDom + "/download/corvana-update?sign=ok";

/// The share page of a public share: the frame that holds the download form.
inline std::string publicSharePage(const std::string& framePath = kFramePath) {
    return "<html><head><title>corvana</title></head><body><div class=\"d\">corvana 12.5 M</div>"
           "<iframe class=\"ifr2\" name=\"1\" src=\"" +
           framePath + "\" frameborder=\"0\" scrolling=\"no\"></iframe></body></html>";
}

/// The frame page with its form data; an empty action leaves the action out.
inline std::string framePage(const std::string& action = "downprocess", const std::string& signature = kSignature,
                             const std::string& requestPath = "/ajaxm.php") {
    std::string data = "{ ";
    if (!action.empty())
        data += "'action':'" + action + "',";
    data += "'signs':ajaxdata,'sign':'" + signature + "','websign':'','websignkey':'bL27','ves':1 }";
    return "<script type=\"text/javascript\">\nvar ajaxdata = '?ctdf';\n$.ajax({\n type : 'post',\n url : '" +
           requestPath + "',\n data : " + data + ",\n dataType : 'json'\n});\n</script>";
}

/// The endpoint's JSON answer naming the file link.
inline std::string endpointAnswer(const std::string& dom = kFileDom, const std::string& url = kFileId) {
    return "{\"zt\":1,\"dom\":\"" + dom + "\",\"url\":\"" + url + "\",\"inf\":0}";
}

/// A public share fully served: share page at `target` of the share host, frame, endpoint, file link redirect.
inline void servePublicShare(UpdateSite& site, const std::string& target) {
    site.answer(kShareHost, target, {200, {}, publicSharePage()});
    site.answer(kShareHost, "/" + kFramePath, {200, {}, framePage()});
    site.answer(kShareHost, "/ajaxm.php", {200, {{"Content-Type", "application/json"}}, endpointAnswer()});
    site.redirect(kFileHost, kFileTarget, kDirectAddress);
}

} // namespace updatetest
